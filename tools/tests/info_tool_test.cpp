// info_tool_test.cpp: pqtool info reports what pqtool convert writes. The
// figures are counted here from convert's output bytes alone, without the
// editor's reader: triangles, distinct corner positions (exact float
// equality, -0 equal to +0, a NaN equal to nothing), the box of the finite
// ones and the count of positions that are not finite.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "files/files.h"

namespace fs = std::filesystem;

namespace {

const std::string pqtool = PQTOOL_PATH;

class InfoTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder of its own: other builds may run the same test at the same time.
        std::string pattern = (fs::temp_directory_path() / "pq_info_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    // pqtool's standard output, or "exit N" when it failed.
    std::string run(const std::string& arguments) const
    {
        const std::string command = "\"" + pqtool + "\" " + arguments + " > \"" + path("out.txt") + "\" 2>&1";
        const int status = std::system(command.c_str());
        const auto bytes = readFileBytes(path("out.txt"));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !bytes)
            return "exit " + std::to_string(WEXITSTATUS(status));
        return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    }

    fs::path dir;
};

std::string pqRecord(std::array<float, 9> positions)
{
    std::string bytes;
    for (size_t k = 0; k < 3; ++k) {
        const float corner[5] = {0.25f, 0.75f, positions[3 * k], positions[3 * k + 1], positions[3 * k + 2]};
        bytes.append(reinterpret_cast<const char*>(corner), sizeof corner);
    }
    return bytes;
}

float floatAt(std::span<const std::byte> bytes, size_t offset)
{
    float value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// info's lines from "triangles:" on, as the native file's bytes give them.
std::string figuresOf(std::span<const std::byte> bytes)
{
    std::set<std::array<uint32_t, 3>> positions;
    std::set<std::array<uint32_t, 3>> infinite;
    size_t nans = 0;
    float low[3] = {}, high[3] = {};
    bool anyFinite = false;
    for (size_t at = 0; at + 20 <= bytes.size(); at += 20) {
        const float p[3] = {floatAt(bytes, at + 8), floatAt(bytes, at + 12), floatAt(bytes, at + 16)};
        if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) {
            ++nans;
            continue;
        }
        const auto bits = [](float f) { return std::bit_cast<uint32_t>(f + 0.0f); };
        const std::array<uint32_t, 3> key{bits(p[0]), bits(p[1]), bits(p[2])};
        positions.insert(key);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            infinite.insert(key);
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            low[i] = anyFinite ? std::min(low[i], p[i]) : p[i];
            high[i] = anyFinite ? std::max(high[i], p[i]) : p[i];
        }
        anyFinite = true;
    }
    char box[256] = "none";
    if (anyFinite)
        std::snprintf(box, sizeof box, "x %g to %g, y %g to %g, z %g to %g", double{low[0]} + 0.0,
                      double{high[0]} + 0.0, double{low[1]} + 0.0, double{high[1]} + 0.0, double{low[2]} + 0.0,
                      double{high[2]} + 0.0);
    return "triangles: " + std::to_string(bytes.size() / 60) + "\nvertices: " +
           std::to_string(positions.size() + nans) + "\nbounding box: " + box +
           "\nnot finite: " + std::to_string(nans + infinite.size()) + "\n";
}

}  // namespace

TEST_F(InfoTool, ReportsWhatConvertWrites)
{
    std::vector<std::string> inputs;
    for (const auto& entry : fs::directory_iterator(PQ_SOURCE_DIR "/tests/data/asc"))
        if (entry.path().extension() == ".ASC") inputs.push_back(entry.path().string());
    ASSERT_GE(inputs.size(), 2u);
    const float nan = std::nanf(""), inf = INFINITY;
    const std::string nanTriangle = pqRecord({nan, 0, 0, 1, 2, 3, -1, 5, -0.0f});
    const std::string other = pqRecord({4, -2, 0.0f, 1, 2, 3, 0.5f, 0.5f, -0.0f});
    std::string junk;
    for (int i = 0; i < 3000; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);
    inputs.insert(inputs.end(), {
        // Faces without vertices: nothing is written.
        write("faces.asc", "Face list:\r\nFace 0: A:0 B:1 C:2\r\nFace 1: A:2 B:1 C:0\r\n"),
        // Unused vertices, the header's origin and a face past the object's end.
        write("unused.asc", "Named object: \"a\"\nVertex list:\nVertex 0: X:5 Y:7 Z:9\nVertex 1: X:6 Y:7 Z:9\n"
                            "Vertex 2: X:5 Y:8 Z:9\nVertex 3: X:-50 Y:-50 Z:-50\nFace list:\n"
                            "Face 0: A:0 B:1 C:2\nFace 1: A:0 B:2 C:40\n"),
        // The same NaN corner first and last: the box must not change.
        write("nan_first.pq", nanTriangle + other), write("nan_last.pq", other + nanTriangle),
        write("infinite.pq", pqRecord({inf, 0, 0, inf, 0, 0, 1, 1, 1})),
        write("empty.pq", ""), write("empty.asc", ""), write("junk.asc", junk), write("junk.pq", junk),
        write("truncated.pq", other.substr(0, 31)),
    });
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        const std::string converted = path("converted.pq");
        const std::string wrote = run("convert \"" + input + "\" \"" + converted + "\"");
        const auto bytes = readFileBytes(converted);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(wrote, "wrote " + converted + ": " + std::to_string(bytes->size() / 60) + " triangles\n");
        const std::string info = run("info \"" + input + "\"");
        const size_t figures = info.find("triangles:");
        ASSERT_NE(figures, std::string::npos) << info;
        EXPECT_EQ(info.substr(figures), figuresOf(*bytes));
        fs::remove(converted);
    }
    const std::string nanBox = run("info \"" + path("nan_first.pq") + "\"");
    EXPECT_EQ(nanBox.substr(nanBox.find("triangles:")), figuresOf(*readFileBytes(path("nan_last.pq"))));
    EXPECT_NE(nanBox.find("not finite: 1\n"), std::string::npos) << nanBox;
}
