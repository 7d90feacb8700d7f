#include "app/document_workflow.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmar {

namespace {

// Writes compact JSON with the keys of every object in sorted order, straight into one buffer:
// the comparison form is made before every open and quit, at up to 10000 clips, and building a
// JSON document first would take several times as long. Only compared with itself.
class SnapshotWriter {
  public:
    QByteArray out;
    bool finite = true;

    void raw(const char* text) { out.append(text); }
    void key(const char* name) {
        if (!out.endsWith('{')) out.append(',');
        out.append('"').append(name).append("\":");
    }
    void string(const QString& text) {
        out.append('"');
        for (const char c : text.toUtf8()) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out.append('\\').append(c);
            } else if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out.append(escaped);
            } else {
                out.append(c);
            }
        }
        out.append('"');
    }
    void integer(qint64 value) {
        char buffer[24];
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
    }
    void number(double value) {
        finite = finite && std::isfinite(value);
        char buffer[32];
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
    }
    void boolean(bool value) { out.append(value ? "true" : "false"); }
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
    return w.out;
}

}  // namespace velmar
