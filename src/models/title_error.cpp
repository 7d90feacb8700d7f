#include "models/title_error.h"

namespace velmar {

TitleError::TitleError(Kind kind) : kind_(kind), message_(errorDescription().toStdString()) {}

QString TitleError::errorDescription() const {
    switch (kind_) {
        case Kind::invalidDocument:
            return QString::fromUtf8("文字・サイズ・位置を確認してください");
        case Kind::renderFailed:
            return QString::fromUtf8("テロップ画像を生成できませんでした");
        case Kind::pngFailed:
            return QString::fromUtf8("透明PNGを書き出せませんでした");
        case Kind::storageUnavailable:
            return QString::fromUtf8("アプリの保存先を取得できませんでした");
        case Kind::paletteFull:
            return QString::fromUtf8("スタイルパレットの登録上限に達しました");
        case Kind::unsupportedVersion:
            break;
    }
    return QString::fromUtf8("このバージョンのテロップは開けません");
}

}  // namespace velmar
