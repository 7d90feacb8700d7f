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
                 "ESC / ⌘. : 緊急停止（フェードせず即座にキーを 0。基準信号も止まる）",
                 "→ / ← : 次 / 前の素材を NEXT に（サムネイルの並びの向きに関係なく固定）",
                 "Home / End : 先頭 / 末尾へ",
                 "⌥→ / ⌥← : 次 / 前のマーカーへ",
                 "1〜9（テンキー可） : タブの切り替え / ⌘] ⌘[ : 次 / 前のタブ"}),
        section("DSK",
                {"N : 次の素材",
                 "B : カットで ON / OFF",
                 "M : フェードで ON / OFF"}),
        section("動画（PROGRAM）",
                {"L / J : シャトル 1 段上 / 下（逆 8・4・2・1 倍 ⇔ 停止 ⇔ 1・2・4・8 倍）",
                 "K : 停止",
                 "⇧L / ⇧J : 現在の速度を10％上げ / 下げ（±8倍まで）。100％でも⇧Lで110％、⇧Jで90％"}),
        section("選択・並べ替え",
                {"⇧→ / ⇧← : 選択を伸ばす",
                 "⌘クリック : 1 件ずつ選択 / ⇧クリック : 範囲選択",
                 "⌘A : このタブをすべて選択 / ⌘⇧A : 選択を解除",
                 "⌘⌥→ / ⌘⌥← : 選択をまとめて移動（並びの向きに従う）",
                 "⌘⌫ : 選択を削除",
                 "⌘F : 名前で絞り込み",
                 "⌘R : カーソル位置の素材を差し替え"}),
        section("転換（エフェクト）",
                {"Tab : カーソル位置の素材のデュレーションを入力",
                 "⌘D : 選択している素材のデュレーションをまとめて入力",
                 "⌘7 カット / ⌘5 フェード / ⌘- 既定に戻す",
                 "⌘4 スライド →（左から入る） / ⌘6 スライド ←（右から入る）",
                 "⌘2 スライド ↑（下から入る） / ⌘8 スライド ↓（上から入る）",
                 "⌘1 ズーム / ⌘0 飛び込み / ⌘9 回転",
                 "並びはテンキーと同じ（中心がフェード、上下左右が動く向き）。選択していればその全部、していなければカーソル位置の 1 件が対象。"}),
        section("ファイル・出力",
                {"⌘I : 素材をインポート",
                 "⌘O : 開く / ⌘S : 保存 / ⌘⇧S : 別名で保存",
                 "⌘T : タブを追加",
                 "⌘⇧D : SDI 出力の開始・停止",
                 "⌘⇧M : サブモニターの開始・停止",
                 "⌘⇧T : テストパターンを消す",
                 "⌘⇧K : 本番前チェック",
                 "⌘F12 : 信号モニター（ノートパソコンでは fn も一緒に押す場合があります）",
                 "⌘, : 設定 / ⌘? : このマニュアル"}),
        section("注意点",
                {"数値の入力欄・設定ウインドウを開いている間は、送出キーが効きません（誤爆防止）。キーの押しっぱなしによる連打も無視します。",
                 "オンエア中は、出力フォーマット・フレームレートの変更と、プロジェクトを開くことができません。",
                 "SDI に絵が出ないとき：出力フォーマットとフレームレートをスイッチャーに合わせ、設定に「この機器で出せます」と出るか確認。それでも出なければ「外部キーヤーを有効にする」を切る。",
                 "起動直後に落ちる・機器が見つからないとき：Blackmagic Desktop Video が入っているか（入れたあと、許可と再起動が必要）。",
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
                 "Esc / ⌘. : panic (key to 0 at once, no fade; also stops the reference tone)",
                 "→ / ← : next / previous material to NEXT (fixed, regardless of strip direction)",
                 "Home / End : first / last",
                 "⌥→ / ⌥← : next / previous marker",
                 "1–9 (keypad too) : switch tabs / ⌘] ⌘[ : next / previous tab"}),
        section("DSK",
                {"N : next material",
                 "B : cut on / off",
                 "M : fade on / off"}),
        section("Movies (PROGRAM)",
                {"L / J : shuttle one step up / down (reverse 8·4·2·1× ⇔ stop ⇔ 1·2·4·8×)",
                 "K : stop",
                 "⇧L / ⇧J : increase / decrease the current speed by 10% (up to ±8×). From 100%: ⇧L = 110%, ⇧J = 90%"}),
        section("Selection and reordering",
                {"⇧→ / ⇧← : extend the selection",
                 "⌘-click : select one by one / ⇧-click : select a range",
                 "⌘A : select all in this tab / ⌘⇧A : deselect",
                 "⌘⌥→ / ⌘⌥← : move the selection (follows the strip direction)",
                 "⌘⌫ : delete the selection",
                 "⌘F : filter by name",
                 "⌘R : replace the material at the cursor"}),
        section("Transitions (effects)",
                {"Tab : enter the duration of the material at the cursor",
                 "⌘D : enter the duration for all selected material",
                 "⌘7 cut / ⌘5 fade / ⌘- reset to default",
                 "⌘4 slide → (enters from the left) / ⌘6 slide ← (enters from the right)",
                 "⌘2 slide ↑ (enters from below) / ⌘8 slide ↓ (enters from above)",
                 "⌘1 zoom / ⌘0 dive / ⌘9 rotate",
                 "The layout follows the numeric keypad (fade in the center, directions around it). Applies to the selection, or to the material at the cursor when nothing is selected."}),
        section("Files and outputs",
                {"⌘I : import material",
                 "⌘O : open / ⌘S : save / ⌘⇧S : save as",
                 "⌘T : add a tab",
                 "⌘⇧D : start / stop SDI output",
                 "⌘⇧M : start / stop the second monitor",
                 "⌘⇧T : clear the test pattern",
                 "⌘⇧K : pre-show check",
                 "⌘F12 : signal monitor (on a laptop you may need to hold fn too)",
                 "⌘, : settings / ⌘? : this manual"}),
        section("Cautions",
                {"Playout keys do nothing while a number field or the settings window is open (to prevent accidental takes). Held-down key repeats are ignored.",
                 "While on air, output format and frame rate cannot be changed, and projects cannot be opened.",
                 "No picture on SDI: match the output format and frame rate to the switcher and check that Settings says the device can output it. If it still fails, turn off “Enable external keyer”.",
                 "Crash on launch or no device found: check that Blackmagic Desktop Video is installed (it needs approval and a restart).",
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

QString ManualContent::platformShortcutText(const QString& line) {
    QString out;
    out.reserve(line.size() + 16);
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        const char* name = c == QChar(0x2318)   ? "Ctrl"  // Command
                           : c == QChar(0x2325) ? "Alt"   // Option
                           : c == QChar(0x2303) ? "Meta"  // Control
                                                : nullptr;
        if (name != nullptr) {
            out += QLatin1String(name);
            // "⌘-click": the hyphen already joins the key to the word.
            const bool hyphenated =
                i + 2 < line.size() && line[i + 1] == u'-' && line[i + 2].isLetter();
            if (!hyphenated) out += u'+';
        } else if (c == QChar(0x232B)) {  // Delete (backwards)
            out += QLatin1String("Backspace");
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace velmar
