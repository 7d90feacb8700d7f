#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace velmar {

// The size of the program canvas with its preset name (or "カスタム" for a size the operator
// typed). Equality compares width, height and name, so two formats of one size with different
// names differ; id() compares sizes only. A plain value.
struct CanvasFormat {
    int width = 1920;
    int height = 1080;
    QString name = QStringLiteral("HD 1080");

    // The name given to a size the operator typed.
    static QString customName();

    // "HD 1080", "UHD 4K", "HD 720", "DCI 2K", "DCI 4K", in that order.
    static const QList<CanvasFormat>& presets();

    // Width, "x", height: "1920x1080".
    QString id() const;
    // The name (the custom name translated), two blanks, width "×" height: "HD 1080  1920×1080".
    QString label() const;

    // JSON object with "width", "height" (integers) and "name" (string), all required on
    // decoding; fromJson throws JsonDecodingError. Sizes are not checked here.
    QJsonObject toJson() const;
    static CanvasFormat fromJson(const QJsonValue& json);

    friend bool operator==(const CanvasFormat&, const CanvasFormat&) = default;
};

inline size_t qHash(const CanvasFormat& f, size_t seed = 0) {
    return qHashMulti(seed, f.width, f.height, f.name);
}

}  // namespace velmar
