// ParseXml on a generated document of about 1 MB shaped like a production (sections of items
// with many attributes, nested layers, shader texts), against pugixml parsing the same bytes
// in the same run. Both include freeing the tree. ParseXml reports its time as a ratio to
// pugixml's in the counter x_pugixml.
#include "data/xml.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeProduction(size_t target_size) {
    std::string text = "<?xml version=\"1.0\"?>\n<!-- generated production -->\n"
                       "<demo version=\"3\" width=\"1280\" height=\"720\" texture_format=\"2\">\n";
    for (int block = 0; text.size() < target_size; ++block) {
        std::string b = std::to_string(block);
        text += "  <textures>\n";
        for (int i = 0; i < 20; ++i) {
            std::string n = std::to_string(i);
            text += "    <texture name=\"tex_" + b + "_" + n + "\" operator=\"" + n +
                    "\" size=\"256\" texture_format=\"2\" texture_filter=\"1\" "
                    "wrap=\"repeat\" seed=\"" +
                    std::to_string(block * 31 + i) +
                    "\" scale=\"0.750000\" offset_x=\"0.125000\" offset_y=\"-0.500000\"/>\n";
        }
        text += "  </textures>\n  <materials>\n";
        for (int i = 0; i < 5; ++i) {
            text += "    <material name=\"mat_" + b + "_" + std::to_string(i) +
                    "\" shader=\"generated\" blend=\"add\" depth_test=\"1\" cull=\"back\">\n"
                    "      <layer texture=\"3\" combine=\"modulate\" scroll_u=\"0.01\"/>\n"
                    "      <layer texture=\"4\" combine=\"add\" scroll_v=\"0.02\"/>\n"
                    "      <fragment_shader>uniform sampler2D t0; void main() { vec4 c = "
                    "texture2D(t0, gl_TexCoord[0].xy); if (c.a &lt; 0.5) discard; "
                    "gl_FragColor = c; }</fragment_shader>\n"
                    "    </material>\n";
        }
        text += "  </materials>\n  <scenes>\n    <scene name=\"scene_" + b + "\">\n";
        for (int i = 0; i < 10; ++i)
            text += "      <object model=\"" + std::to_string(i) +
                    "\" material=\"2\" x=\"1.5\" y=\"-2.25\" z=\"10.0\" rx=\"0\" ry=\"90\" "
                    "rz=\"0\" sx=\"1\" sy=\"1\" sz=\"1\" time_offset=\"" +
                    std::to_string(i * 100) +
                    "\">\n"
                    "        <manipulator kind=\"array\" count=\"8\" step_x=\"2.0\"/>\n"
                    "      </object>\n";
        text += "    </scene>\n  </scenes>\n  <timeline>\n    <track>\n";
        for (int i = 0; i < 10; ++i)
            text += "      <layer start=\"" + std::to_string(i * 500) + "\" end=\"" +
                    std::to_string(i * 500 + 499) +
                    "\" scene=\"1\" camera_x=\"0\" camera_y=\"0\" camera_z=\"-5\" fov=\"60\"/>\n";
        text += "    </track>\n  </timeline>\n";
    }
    return text + "</demo>\n";
}

const std::string& Production() {
    static const std::string text = MakeProduction(1 << 20);
    return text;
}

bool ParseWithPugixml(const std::string& text) {
    pugi::xml_document document;
    return static_cast<bool>(document.load_buffer(text.data(), text.size()));
}

// pugixml's mean seconds per parse over a fixed number of runs after a warm-up, measured
// once.
double PugixmlSeconds() {
    static const double seconds = [] {
        constexpr int kRuns = 200;
        benchmark::DoNotOptimize(ParseWithPugixml(Production()));
        auto begin = Clock::now();
        for (int run = 0; run < kRuns; ++run)
            benchmark::DoNotOptimize(ParseWithPugixml(Production()));
        return std::chrono::duration<double>(Clock::now() - begin).count() / kRuns;
    }();
    return seconds;
}

void BM_ParseXml(benchmark::State& state) {
    const std::string& text = Production();
    double reference = PugixmlSeconds();
    auto begin = Clock::now();
    for (auto _ : state) {
        std::unique_ptr<korvane::XmlNode> root = korvane::ParseXml(text.c_str());
        benchmark::DoNotOptimize(root.get());
    }
    double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["x_pugixml"] = seconds / static_cast<double>(state.iterations()) / reference;
}
BENCHMARK(BM_ParseXml)->Unit(benchmark::kMillisecond);

void BM_Pugixml(benchmark::State& state) {
    const std::string& text = Production();
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseWithPugixml(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Pugixml)->Unit(benchmark::kMillisecond);

} // namespace
