// Writes the frame-format fixtures made from the format layouts (formats
// without a sample from another program) into a folder:
//   tools/make_format_fixtures.sh   (writes tests/data/formats/made/)

#include <cstdio>
#include <fstream>
#include <string>

#include "format_fixture_writers.h"

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "tests/data/formats/made";
    for (const auto& fixture : orv::fixtures::MadeFixtures()) {
        const std::string path = folder + "/" + fixture.Name;
        std::ofstream out(path, std::ios::binary);
        out.write(fixture.Bytes.data(), static_cast<std::streamsize>(fixture.Bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s %zu bytes\n", path.c_str(), fixture.Bytes.size());
    }
    return 0;
}
