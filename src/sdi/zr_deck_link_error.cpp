#include "sdi/zr_deck_link_error.h"

#include "models/localized.h"

namespace velmar {

ZRDeckLinkError ZRDeckLinkError::make(Code code) {
    return {code, messageForCode(code)};
}

QString ZRDeckLinkError::messageForCode(int code) {
    const char* text = nullptr;
    // Each message one literal, so the translation check finds the key whole.
    // clang-format off
    switch (code) {
        case badParameters:
            text = L10N_KEY("パラメータが不正です");
            break;
        case noDevice:
            text = L10N_KEY("SDI の機器が見つかりません。ここの SDI カードは仮想のもので、機器はプログラムの起動時に環境変数 VELMAR_VIRTUAL_SDI で決まります（未設定か空なら出力とキーヤーのある 1 台。off なら無し、読めない値も無しで、理由を標準エラーに出します）");
            break;
        case noOutput:
            text = L10N_KEY("出力インターフェースを取得できません");
            break;
        case unsupportedMode:
            text = L10N_KEY("指定された出力フォーマットに対応していません");
            break;
        case bufferMismatch:
            text = L10N_KEY("キャンバスのサイズが出力フォーマットと一致しません");
            break;
        case cannotEnableOutput:
            text = L10N_KEY("出力を開始できません。他のアプリがデバイスを使っていないか確認してください");
            break;
        case noPixelBufferOutput:
            text = L10N_KEY("この機器は、プログラムのバッファをそのまま包んだ BGRA（8bit）・v210（10bit フィル）のフレームに対応していません");
            break;
        case cannotMakeFrames:
            text = L10N_KEY("フレームバッファを作れません");
            break;
        case cannotStartPlayback:
            text = L10N_KEY("再生を開始できません");
            break;
        case cannotEnableTenBitKey:
            text = L10N_KEY("この機器で 10bit キーを有効にできません");
            break;
        default:
            return {};
    }
    // clang-format on
    return localized(text);
}

}  // namespace velmar
