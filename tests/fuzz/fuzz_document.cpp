// Fuzz target for the checks of project documents: any text parses and is checked without
// trouble, and every problem found is one line naming the document.
#include "data/xml.h"
#include "fuzz_check.h"
#include "load/validation.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<XmlNode> root = ParseXml(text.c_str());
    for (bool read_music : {false, true}) {
        std::vector<std::string> problems;
        bool valid = ValidateDocument(*root, "demo.xmlz", read_music, problems);
        FuzzCheck(valid == problems.empty());
        for (const std::string& problem : problems)
            FuzzCheck(problem.rfind("Error: demo.xmlz: ", 0) == 0 &&
                      problem.find('\n') == std::string::npos);
    }
    return 0;
}
