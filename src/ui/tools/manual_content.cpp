#include "ui/tools/manual_content.h"

namespace velmar {

namespace {

ManualContent::Section section(const char* title, std::initializer_list<const char*> lines) {
    ManualContent::Section s;
    s.id = QUuid::createUuid();
    s.title = QString::fromUtf8(title);
    for (const char* line : lines) s.body << QString::fromUtf8(line);
    return s;
}

}  // namespace

// clang-format off
const QList<ManualContent::Section>& ManualContent::japanese() {
    static const QList<Section> sections{
        section("送出",
                {"スペース : 転換で送出（押すたびにイン / アウトが交互）",
                 "リターン / Enter : カットで送出",
                 "V : PROGRAM の KEY だけを即 ON / OFF（素材・NEXT は変えない）。OFF の間は PROGRAM の音声もミュート。次の素材を送出すると解除",
                 "ESC / Ctrl+. : 緊急停止（フェードせず即座にキーを 0。基準信号も止まる）",
                 "→ / ← : 次 / 前の素材を NEXT に（サムネイルの並びの向きに関係なく固定）",
                 "Home / End : 先頭 / 末尾へ",
                 "Alt+→ / Alt+← : 次 / 前のマーカーへ",
                 "1〜9（テンキー可） : タブの切り替え / Ctrl+] Ctrl+[ : 次 / 前のタブ"}),
        section("DSK",
                {"N : 次の素材",
                 "B : カットで ON / OFF",
                 "M : フェードで ON / OFF"}),
        section("動画（PROGRAM）",
                {"L / J : シャトル 1 段上 / 下（逆 8・4・2・1 倍 ⇔ 停止 ⇔ 1・2・4・8 倍）",
                 "K : 停止",
                 "Shift+L / Shift+J : 現在の速度を10％上げ / 下げ（±8倍まで）。100％でもShift+Lで110％、Shift+Jで90％"}),
        section("選択・並べ替え",
                {"Shift+→ / Shift+← : 選択を伸ばす",
                 "Ctrl+クリック : 1 件ずつ選択 / Shift+クリック : 範囲選択",
                 "Ctrl+A : このタブをすべて選択 / Ctrl+Shift+A : 選択を解除",
                 "Ctrl+Alt+→ / Ctrl+Alt+← : 選択をまとめて移動（並びの向きに従う）",
                 "Ctrl+Backspace : 選択を削除",
                 "Ctrl+F : 名前で絞り込み",
                 "Ctrl+R : カーソル位置の素材を差し替え"}),
        section("転換（エフェクト）",
                {"Tab : カーソル位置の素材のデュレーションを入力",
                 "Ctrl+D : 選択している素材のデュレーションをまとめて入力",
                 "Ctrl+7 カット / Ctrl+5 フェード / Ctrl+- 既定に戻す",
                 "Ctrl+4 スライド →（左から入る） / Ctrl+6 スライド ←（右から入る）",
                 "Ctrl+2 スライド ↑（下から入る） / Ctrl+8 スライド ↓（上から入る）",
                 "Ctrl+1 ズーム / Ctrl+0 飛び込み / Ctrl+9 回転",
                 "並びはテンキーと同じ（中心がフェード、上下左右が動く向き）。選択していればその全部、していなければカーソル位置の 1 件が対象。"}),
        section("ファイル・出力",
                {"Ctrl+I : 素材をインポート",
                 "Ctrl+O : 開く / Ctrl+S : 保存 / Ctrl+Shift+S : 別名で保存",
                 "Ctrl+T : タブを追加",
                 "Ctrl+Shift+D : SDI 出力の開始・停止",
                 "Ctrl+Shift+M : サブモニターの開始・停止",
                 "Ctrl+Shift+T : テストパターンを消す",
                 "Ctrl+Shift+K : 本番前チェック",
                 "Ctrl+F12 : 信号モニター（ノートパソコンでは fn も一緒に押す場合があります）",
                 "Ctrl+, : 設定 / Ctrl+? : このマニュアル"}),
        section("注意点",
                {"数値の入力欄・設定ウインドウを開いている間は、送出キーが効きません（誤爆防止）。キーの押しっぱなしによる連打も無視します。",
                 "オンエア中は、出力フォーマット・フレームレートの変更と、プロジェクトを開くことができません。",
                 "SDI に絵が出ないとき：出力フォーマットとフレームレートをスイッチャーに合わせ、設定に「この機器で出せます」と出るか確認。それでも出なければ「外部キーヤーを有効にする」を切る。",
                 "SDI の機器が見つからないとき：ここの SDI カードは仮想のもので、機器はプログラムの起動時に環境変数 VELMAR_VIRTUAL_SDI で決まります（既定は出力とキーヤーのある 1 台。off なら無し、読めない値も無しで、理由を標準エラーに出します）。直してから起動し直してください（書き方は README）。",
                 "SDI は 8bit フィル＋キー、10bit フィル＋キー（Ay10 対応機器）、10bit フィルのみ（v210）を選べます。合成元は 8bit BGRA です。",
                 "透過の縁が汚いときは、キーの形式（ストレート / プリマルチプライド）をスイッチャーに合わせる。動画の縁の黒・白フチは、設定の「動画のアルファをプリマルチプライドとして扱う」で直ります。",
                 "並べ替えは、素材の上ではなく素材と素材の隙間（青いガイド線）に落とします。マーカーの前後へ移動できます。マーカーもドラッグで移動でき、OA中もリストから削除できます（現在の送出は維持）。",
                 "SDI 出力中は、既定でこのコンピュータのスピーカーから音が出ません（設定の「SDI 出力」で変更可）。基準信号を出している間は、PROGRAM の音声は止まります。",
                 "テストパターンは 8bit RGB のため、SMPTE 風バーの PLUGE は規格どおりではありません。測定には信号発生器を使ってください。",
                 "落ちフレームが増えるときは、素材を内蔵 SSD に置く。4K の ProRes 4444 は帯域が厳しいので、まず 1080 で確認してください。",
                 "プロジェクトファイルは v10 形式です。古いビルドでは開けません。",
                 "NDI® is a registered trademark of Vizrt NDI AB.（https://ndi.video）"}),
    };
    return sections;
}

const QList<ManualContent::Section>& ManualContent::english() {
    static const QList<Section> sections{
        section("Playout",
                {"Space : take with the transition (alternates in / out)",
                 "Return / Enter : cut",
                 "V : toggle PROGRAM's KEY on / off instantly (material and NEXT stay as they are). PROGRAM audio is muted while the key is off, and unmuted when the next item is taken",
                 "Esc / Ctrl+. : panic (key to 0 at once, no fade; also stops the reference tone)",
                 "→ / ← : next / previous material to NEXT (fixed, regardless of strip direction)",
                 "Home / End : first / last",
                 "Alt+→ / Alt+← : next / previous marker",
                 "1–9 (keypad too) : switch tabs / Ctrl+] Ctrl+[ : next / previous tab"}),
        section("DSK",
                {"N : next material",
                 "B : cut on / off",
                 "M : fade on / off"}),
        section("Movies (PROGRAM)",
                {"L / J : shuttle one step up / down (reverse 8·4·2·1× ⇔ stop ⇔ 1·2·4·8×)",
                 "K : stop",
                 "Shift+L / Shift+J : increase / decrease the current speed by 10% (up to ±8×). From 100%: Shift+L = 110%, Shift+J = 90%"}),
        section("Selection and reordering",
                {"Shift+→ / Shift+← : extend the selection",
                 "Ctrl+click : select one by one / Shift+click : select a range",
                 "Ctrl+A : select all in this tab / Ctrl+Shift+A : deselect",
                 "Ctrl+Alt+→ / Ctrl+Alt+← : move the selection (follows the strip direction)",
                 "Ctrl+Backspace : delete the selection",
                 "Ctrl+F : filter by name",
                 "Ctrl+R : replace the material at the cursor"}),
        section("Transitions (effects)",
                {"Tab : enter the duration of the material at the cursor",
                 "Ctrl+D : enter the duration for all selected material",
                 "Ctrl+7 cut / Ctrl+5 fade / Ctrl+- reset to default",
                 "Ctrl+4 slide → (enters from the left) / Ctrl+6 slide ← (enters from the right)",
                 "Ctrl+2 slide ↑ (enters from below) / Ctrl+8 slide ↓ (enters from above)",
                 "Ctrl+1 zoom / Ctrl+0 dive / Ctrl+9 rotate",
                 "The layout follows the numeric keypad (fade in the center, directions around it). Applies to the selection, or to the material at the cursor when nothing is selected."}),
        section("Files and outputs",
                {"Ctrl+I : import material",
                 "Ctrl+O : open / Ctrl+S : save / Ctrl+Shift+S : save as",
                 "Ctrl+T : add a tab",
                 "Ctrl+Shift+D : start / stop SDI output",
                 "Ctrl+Shift+M : start / stop the second monitor",
                 "Ctrl+Shift+T : clear the test pattern",
                 "Ctrl+Shift+K : pre-show check",
                 "Ctrl+F12 : signal monitor (on a laptop you may need to hold fn too)",
                 "Ctrl+, : settings / Ctrl+? : this manual"}),
        section("Cautions",
                {"Playout keys do nothing while a number field or the settings window is open (to prevent accidental takes). Held-down key repeats are ignored.",
                 "While on air, output format and frame rate cannot be changed, and projects cannot be opened.",
                 "No picture on SDI: match the output format and frame rate to the switcher and check that Settings says the device can output it. If it still fails, turn off “Enable external keyer”.",
                 "No SDI device found: the SDI card here is virtual, and its devices are set when the program starts by the environment variable VELMAR_VIRTUAL_SDI (by default one device with output and keyer; “off” gives none, and so does a value that cannot be read, with the reason on standard error). Correct it and start the program again (the README gives the syntax).",
                 "SDI offers 8-bit fill + key, 10-bit fill + key on Ay10-capable devices, or 10-bit fill only (v210). The composite source is 8-bit BGRA.",
                 "Dirty edges: match the key type (straight / premultiplied) to the switcher. Black or white fringes on movies are fixed with “Treat video alpha as premultiplied” in Settings.",
                 "When reordering, drop into the gap between items (the blue guide line), not onto an item. Markers do not move with material, so check their positions afterwards.",
                 "During SDI output this computer's speakers are silent by default (change it under SDI Output in Settings). While a reference tone is on, PROGRAM audio stops.",
                 "Test patterns are 8-bit RGB, so the PLUGE in the SMPTE-style bars is not to spec. Use a signal generator for measurements.",
                 "If dropped frames climb, keep material on the internal SSD. 4K ProRes 4444 is bandwidth-heavy, so verify at 1080 first.",
                 "Project files use format v10 and cannot be opened by older builds.",
                 "NDI® is a registered trademark of Vizrt NDI AB. (https://ndi.video)"}),
    };
    return sections;
}
// clang-format on

}  // namespace velmar
