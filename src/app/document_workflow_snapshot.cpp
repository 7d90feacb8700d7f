#include "app/document_workflow.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace velmar {

namespace {

// Writes compact JSON with the keys of every object in sorted order, straight into one buffer:
// the comparison form is made before every open and quit, at up to 10000 clips, and building a
// JSON document first would take several times as long. Only compared with itself.
class SnapshotWriter {
  public:
    std::string out;
    bool finite = true;

    void raw(const char* text) { out += text; }
    void key(const char* name) {
        if (out.back() != '{') out += ',';
        out += '"';
        out += name;
        out += "\":";
    }
    void string(const QString& text) {
        const std::size_t start = out.size();
        out += '"';
        for (const QChar ch : text) {
            const char16_t c = ch.unicode();
            if (c >= 0x80) {  // not ASCII: the whole text through the UTF-8 encoder
                out.resize(start);
                return escaped(text.toUtf8());
            }
            append(static_cast<char>(c));
        }
        out += '"';
    }
    void escaped(const QByteArray& utf8) {
        out += '"';
        for (const char c : utf8) append(c);
        out += '"';
    }
    void append(char c) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    void integer(qint64 value) {
        char buffer[24];
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    }
    void number(double value) {
        finite = finite && std::isfinite(value);
        char buffer[32];
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    }
    void boolean(bool value) { out += value ? "true" : "false"; }
};

}  // namespace

std::optional<QByteArray> DocumentWorkflow::snapshotOf(const PlayoutProject& project) {
    SnapshotWriter w;
    w.out.reserve(256 + 160 * project.clipCount());
    w.raw("{");
    w.key("audioEnabled");
    w.boolean(project.audioEnabled);
    w.key("autoAdvance");
    w.boolean(project.autoAdvance);
    w.key("canvas");
    w.raw("{");
    w.key("height");
    w.integer(project.canvas.height);
    w.key("name");
    w.string(project.canvas.name);
    w.key("width");
    w.integer(project.canvas.width);
    w.raw("}");
    w.key("defaultMotion");
    w.string(project.defaultMotion.rawValue());
    if (project.dsk) {  // its selected index left out
        w.key("dsk");
        w.raw("{");
        w.key("loops");
        w.boolean(project.dsk->loops);
        w.key("paths");
        w.raw("[");
        for (qsizetype i = 0; i < project.dsk->paths.size(); ++i) {
            if (i > 0) w.raw(",");
            w.string(project.dsk->paths[i]);
        }
        w.raw("]");
        w.key("selectedIndex");
        w.integer(0);
        w.raw("}");
    }
    w.key("fadeDuration");
    w.number(project.fadeDuration);
    w.key("formatVersion");
    w.integer(project.formatVersion);
    w.key("frameRate");
    w.raw("{");
    w.key("frameDuration");
    w.integer(project.frameRate.frameDuration);
    w.key("timeScale");
    w.integer(project.frameRate.timeScale);
    w.raw("}");
    w.key("groups");
    w.raw("[");
    for (qsizetype g = 0; g < project.groups.size(); ++g) {
        const auto& group = project.groups[g];
        if (g > 0) w.raw(",");
        w.raw("{");
        w.key("clips");
        w.raw("[");
        for (qsizetype c = 0; c < group.clips.size(); ++c) {
            // Pixel sizes and content anchors left out: measuring them changes nothing.
            const auto& clip = group.clips[c];
            if (c > 0) w.raw(",");
            w.raw("{");
            w.key("displayName");
            w.string(clip.displayName);
            if (clip.loopCount) {
                w.key("loopCount");
                w.integer(*clip.loopCount);
            }
            if (clip.motion) {
                w.key("motion");
                w.string(clip.motion->rawValue());
            }
            if (clip.motionDuration) {
                w.key("motionDuration");
                w.number(*clip.motionDuration);
            }
            w.key("path");
            w.string(clip.path);
            if (const auto& t = clip.transform) {
                w.key("transform");
                w.raw("{");
                w.key("offsetX");
                w.number(t->offsetX);
                w.key("offsetY");
                w.number(t->offsetY);
                w.key("opacity");
                w.number(t->opacity);
                w.key("rotation");
                w.number(t->rotation);
                w.key("scale");
                w.number(t->scale);
                w.raw("}");
            }
            w.raw("}");
        }
        w.raw("]");
        w.key("markers");
        w.raw("[");
        const auto markers = group.markers.value_or(QList<PlayoutProject::MarkerRecord>());
        for (qsizetype m = 0; m < markers.size(); ++m) {
            if (m > 0) w.raw(",");
            w.raw("{");
            w.key("name");
            w.string(markers[m].name);
            w.key("position");
            w.integer(markers[m].position);
            w.raw("}");
        }
        w.raw("]");
        w.key("name");
        w.string(group.name);
        w.key("selectedIndex");  // the selection is left out
        w.integer(0);
        w.raw("}");
    }
    w.raw("]");
    w.key("keyAlphaMode");
    w.string(project.keyAlphaMode.rawValue());
    w.key("unpremultiplyAlpha");
    w.boolean(project.unpremultiplyAlpha);
    w.raw("}");
    if (!w.finite) return std::nullopt;
    return QByteArray(w.out.data(), static_cast<qsizetype>(w.out.size()));
}

}  // namespace velmar
