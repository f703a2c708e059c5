// Damaged files: every fixture cut at many lengths and with random bytes
// changed goes through every reader of every chain. Each reader either
// reads it, refuses it, or reports it unreadable; none may crash or read
// outside the file (the sanitizer build runs this too).

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "../../tools/format_fixture_writers.h"
#include "formats/frame_readers.h"
#include "formats_test_support.h"
#include "base/numbers.h"

using namespace orv;
using namespace orv::testing;
namespace fx = orv::fixtures;

namespace {

struct Sample {
    std::string Path;   // its extension matters to some readers
    std::string Bytes;
    TForm32 Form;
};

std::vector<Sample> Samples() {
    std::vector<Sample> out;
    auto sized = [](const char* x, const char* y) {
        TForm32 f;
        f.EDSizeX = x;
        f.EDSizeY = y;
        return f;
    };
    for (const char* name :
         {"kw100_b1_256.sfrm", "kw100_b1_sparse_128.sfrm", "kw100_b2_128.sfrm", "kw86_b1_128.sfrm",
          "kw86_b2_128.sfrm", "kw86_b4_128.sfrm", "ty1_128.img", "ty1_256.img", "tif_u8_256x200.tif",
          "tif_u16_256x192.tif", "tif_i32_192x256.tif", "tif_u16_multistrip_256x256.tif", "bmp_8_201x157.bmp",
          "bmp_24_157x123.bmp"})
        out.push_back({name, FixtureBytes(name), TForm32{}});
    out.push_back({"raw_u16_256x192.b16", FixtureBytes("raw_u16_256x192.b16"), sized("256", "192")});
    out.push_back({"csv_crlf_256.csv", FixtureBytes("csv_crlf_256.csv"), sized("256", "256")});
    for (const fx::MadeFixture& made : fx::MadeFixtures()) out.push_back({made.Name, made.Bytes, TForm32{}});
    TForm32 custom = sized("64", "64");
    custom.CustomFile = true;
    custom.EHeader = "100";
    out.push_back({"custom.raw", std::string(100, 'h') + fx::WriteRaw(fx::Pattern(64, 64, 9000), 0, 2), custom});
    out.push_back({"f.mccd", fx::WriteMccd(fx::Pattern(512, 512, 60000), 100000, 256000, 256000, 0, 100000, 71073),
                   TForm32{}});
    out.push_back({"f.dat", fx::WriteHeaderIdFrame(fx::Pattern(512, 512, 60000)), TForm32{}});
    return out;
}

// Every reader of every chain, each once.
std::vector<const ChainEntry*> AllReaders() {
    std::vector<const ChainEntry*> out;
    std::set<ReaderFunction> seen;
    for (ReaderChain chain : {ReaderChain::Load, ReaderChain::Pole, ReaderChain::Arithmetic, ReaderChain::Merge})
        for (const ChainEntry& entry : ChainReaders(chain))
            if (entry.Function && seen.insert(entry.Function).second) out.push_back(&entry);
    return out;
}

// Runs every reader on the bytes; only the protocol's exceptions may leave a reader.
void ReadEverything(const Sample& sample, const std::string& bytes, int& read) {
    static const std::vector<const ChainEntry*> readers = AllReaders();
    for (ReaderChain chain : {ReaderChain::Load, ReaderChain::Pole}) {
        for (const ChainEntry* entry : readers) {
            try {
                const ReaderRun run = RunReader(entry->Function, bytes, sample.Path, chain, sample.Form);
                if (run.Outcome != ReadOutcome::Read) continue;
                ++read;
                ASSERT_GE(run.Frame.FrameWidth, 1) << entry->Name;
                ASSERT_EQ(run.Frame.Intensity.width(), run.Frame.FrameWidth) << entry->Name;
                ASSERT_EQ(run.Frame.Intensity.height(), run.Frame.FrameHeight) << entry->Name;
            } catch (const FrameReadError&) {
            } catch (const ConversionError&) {
            } catch (const std::exception& e) {
                ADD_FAILURE() << entry->Name << " on " << sample.Path << " (" << bytes.size()
                              << " bytes): unexpected " << e.what();
            }
        }
    }
}

TEST(DamagedFrames, TruncatedAtManyLengths) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.Path);
        const size_t size = sample.Bytes.size();
        std::set<size_t> lengths;
        for (size_t n = 0; n <= 40 && n <= size; ++n) lengths.insert(n);
        for (size_t i = 1; i < 40; ++i) lengths.insert(size * i / 40);
        for (size_t n : {size_t{7679}, size_t{7680}, size_t{7681}, size_t{5120}, size_t{4100}, size_t{512}})
            if (n <= size) lengths.insert(n);
        for (size_t back = 1; back <= 8 && back <= size; ++back) lengths.insert(size - back);
        int read = 0;
        for (size_t n : lengths) ReadEverything(sample, sample.Bytes.substr(0, n), read);
    }
}

TEST(DamagedFrames, RandomBytesChanged) {
    std::mt19937 random(20240611);
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.Path);
        int read = 0;
        for (int mutant = 0; mutant < 40; ++mutant) {
            std::string bytes = sample.Bytes;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < changes; ++i) {
                // Half the changes hit the header, where sizes and counts live.
                const size_t range = (i % 2 == 0) ? std::min<size_t>(bytes.size(), 8192) : bytes.size();
                if (range == 0) break;
                bytes[random() % range] = static_cast<char>(random() & 0xff);
            }
            ReadEverything(sample, bytes, read);
        }
    }
}

} // namespace
