#include "sdi/zr_deck_link_error.h"

namespace velmar {

ZRDeckLinkError ZRDeckLinkError::make(Code code) {
    return {code, messageForCode(code)};
}

QString ZRDeckLinkError::messageForCode(int code) {
    const char* text = nullptr;
    switch (code) {
        case badParameters:
            text = "パラメータが不正です";
            break;
        case noDevice:
            text =
                "SDI の機器が見つかりません。この SDI カードは仮想のもので、機器は起動時の環境変数 "
                "VELMAR_VIRTUAL_SDI で決まります（off や読めない値では機器がありません）";
            break;
        case noOutput:
            text = "出力インターフェースを取得できません";
            break;
        case unsupportedMode:
            text = "指定された出力フォーマットに対応していません";
            break;
        case bufferMismatch:
            text = "キャンバスのサイズが出力フォーマットと一致しません";
            break;
        case cannotEnableOutput:
            text = "出力を開始できません。他のアプリがデバイスを使っていないか確認してください";
            break;
        case noPixelBufferOutput:
            text =
                "この機器は、バッファをそのまま包んだ BGRA（8bit）・v210（10bit "
                "フィル）のフレームに対応していません";
            break;
        case cannotMakeFrames:
            text = "フレームバッファを作れません";
            break;
        case cannotStartPlayback:
            text = "再生を開始できません";
            break;
        case cannotEnableTenBitKey:
            text = "この機器で 10bit キーを有効にできません";
            break;
        default:
            return {};
    }
    return QString::fromUtf8(text);
}

}  // namespace velmar
