#include "model/document.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace korvane {

long ReadDocumentInteger(const char* text) {
    return text != nullptr ? std::strtol(text, nullptr, 10) : 0;
}

float ReadDocumentReal(const char* text) {
    return text != nullptr ? static_cast<float>(std::strtod(text, nullptr)) : 0.0f;
}

std::string FormatProblem(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

} // namespace korvane
