// libFuzzer target for the project decoder and the container opener. Not part of the CMake
// build; build it by hand with clang, for example:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//     tests/fuzz/project_decoder_fuzzer.cpp src/models/*.cpp src/platform/base/*.cpp \
//     $(pkg-config --cflags --libs Qt6Core libcrypto) -o project_decoder_fuzzer
// (the translations resource is not needed: lookups fall back to the literal).
#include "models/json_decoding.h"
#include "models/playout_project.h"
#include "models/project_crypto.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        velmar::ProjectCrypto::open(bytes);
    } catch (const velmar::ProjectCrypto::Failure&) {
    }
    try {
        const velmar::PlayoutProject project = velmar::PlayoutProject::decode(bytes);
        velmar::PlayoutProject::checkLimits(project);
        (void)project.makeGroups();
        (void)project.encoded();
    } catch (const velmar::JsonDecodingError&) {
    } catch (const velmar::PlayoutProject::LoadError&) {
    }
    return 0;
}
