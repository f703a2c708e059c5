#pragma once
// Shared by the libFuzzer targets: runs readers on the fuzzer's bytes in
// every chain. A reader may read the bytes, refuse them or throw the
// protocol's exceptions; anything else (a crash, a sanitizer report, another
// exception) is a finding.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "formats/frame_readers.h"
#include "base/numbers.h"

namespace orv::fuzzing {

constexpr std::initializer_list<ReaderChain> AllChains = {ReaderChain::Load, ReaderChain::Pole,
                                                          ReaderChain::Arithmetic, ReaderChain::Merge};

inline void RunReaders(std::initializer_list<ReaderFunction> readers, std::string_view bytes,
                       const std::string& path, const TForm32& form = TForm32{}, bool tiffAtEnd = false,
                       std::initializer_list<ReaderChain> chains = AllChains) {
    for (ReaderChain chain : chains) {
        for (ReaderFunction reader : readers) {
            ReaderContext context;
            context.Chain = chain;
            context.Bytes = bytes;
            context.Form32 = form;
            context.FSetup.RBTIFF1 = !tiffAtEnd;
            context.FSetup.RBTIFF2 = tiffAtEnd;
            NewFrame frame;
            try {
                reader(context, path, frame);
            } catch (const FrameReadError&) {
            } catch (const ConversionError&) {
            }
        }
    }
}

inline std::string_view View(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace orv::fuzzing
