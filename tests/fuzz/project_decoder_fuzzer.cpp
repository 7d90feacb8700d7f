// libFuzzer target for the project decoder and the container opener. Built by the "fuzz" preset
// (scripts/run-fuzzers) against the models library; the translations resource it carries is not
// needed: lookups fall back to the literal.
#include "models/json_decoding.h"
#include "models/playout_project.h"
#include "models/project_crypto.h"

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// With VELMAR_FUZZ_SEEDS set to a folder, writes a small project there as the program saves it,
// plain and sealed, and ends: the seeds of the corpus.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* folder = std::getenv("VELMAR_FUZZ_SEEDS");
    if (folder == nullptr) return 0;
    const velmar::PlayoutProject project = velmar::PlayoutProject::decode(R"({
 "formatVersion": 10, "fadeDuration": 0.5, "canvas": {"width": 1920, "height": 1080, "name": "HD"},
 "frameRate": {"timeScale": 60000, "frameDuration": 1001},
 "dsk": {"paths": ["/k/a.png"], "selectedIndex": 0, "loops": false},
 "groups": [{"name": "A", "selectedIndex": 0, "markers": [{"position": 1, "name": "M"}],
   "clips": [{"path": "/m/a.png", "displayName": "a", "motion": "cut", "loopCount": 2,
              "transform": {"offsetX": 0.1, "offsetY": -0.2, "scale": 1.5, "rotation": 30,
                            "opacity": 0.5}},
             {"path": "/m/b.mov", "displayName": "b"}]}]})");
    const QByteArray plain = project.encoded().value_or(QByteArray());
    const QString dir = QString::fromLocal8Bit(folder);
    for (const auto& [name, bytes] :
         {std::pair{"project.json", plain},
          std::pair{"project.sealed", velmar::ProjectCrypto::seal(plain)}}) {
        QFile f(dir + "/" + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) std::exit(1);
    }
    std::exit(0);
}

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
