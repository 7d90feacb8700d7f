<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>カスタムフォーマット</source>
        <translation>Custom Format</translation>
    </message>
    <message>
        <source>幅</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>高さ</source>
        <translation>Height</translation>
    </message>
    <message>
        <source>画面 %@</source>
        <translation>Screen %@</translation>
    </message>
    <message>
        <source>メイン画面の「OBS(NDI)」をONにすると、プログラムの横にある libvelmar-netvideo.so が DOVRINE を NUT 形式のストリーム（透過映像と 48 kHz・2ch の音声）にして、このコンピュータの 127.0.0.1 で送ります。接続先は $XDG_RUNTIME_DIR/DOVRINE.netvideo に書かれます（例: ffplay tcp://$(cat $XDG_RUNTIME_DIR/DOVRINE.netvideo)）。OBS ではメディアソースの「ローカルファイル」を外し、「入力」にこの tcp:// の接続先を入れます。ほかの PC からは受信できません。</source>
        <translation>With “OBS(NDI)” on in the main window, libvelmar-netvideo.so beside the program serves DOVRINE as a NUT stream (video with transparency, 48 kHz stereo audio) on 127.0.0.1 of this computer. The address is written to $XDG_RUNTIME_DIR/DOVRINE.netvideo (e.g. ffplay tcp://$(cat $XDG_RUNTIME_DIR/DOVRINE.netvideo)). In OBS, untick “Local File” in a Media Source and enter that tcp:// address as its “Input”. Other PCs cannot receive it.</translation>
    </message>
    <message>
        <source>同じ PC の受信アプリへ共有メモリで送ります。メイン画面の「OBS(Syphon)」をONにし、受信アプリ（プログラムの横にある libvelmar-texshare の受信側を使うもの）で DOVRINE を選びます。透過映像のみで、音声は別途受信側へ入力します。</source>
        <translation>Sends to receiving applications on the same PC through shared memory. Turn on “OBS(Syphon)” in the main window and choose DOVRINE in the receiving application (one that uses the receiving side of libvelmar-texshare, beside the program). Video with transparency only; feed the audio to the receiving side separately.</translation>
    </message>
    <message>
        <source>8bit（フィル＋キー）</source>
        <translation>8-bit (fill + key)</translation>
    </message>
    <message>
        <source>10bit（フィル＋キー）</source>
        <translation>10-bit (fill + key)</translation>
    </message>
    <message>
        <source>10bit（フィルのみ）</source>
        <translation>10-bit (fill only)</translation>
    </message>
    <message>
        <source>プリマルチプライド（フェード中はフィルも暗くなる）</source>
        <translation>Premultiplied (the fill also darkens during fades)</translation>
    </message>
    <message>
        <source>ストレート／リニアキー（フィルは変化しない）</source>
        <translation>Straight / linear key (the fill does not change)</translation>
    </message>
    <message>
        <source>この組み合わせはこの機器では出せません</source>
        <translation>This device cannot output this combination</translation>
    </message>
    <message>
        <source>この機器で出せます: %@</source>
        <translation>This device can output: %@</translation>
    </message>
    <message>
        <source>10 秒</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>30 秒（標準）</source>
        <translation>30 s (standard)</translation>
    </message>
    <message>
        <source>1 分</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>5 分</source>
        <translation>5 min</translation>
    </message>
    <message>
        <source>システムに合わせる</source>
        <translation>Follow the system</translation>
    </message>
    <message>
        <source>日本語</source>
        <translation>日本語</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>NEXT 左 ・ PROGRAM 右</source>
        <translation>NEXT left · PROGRAM right</translation>
    </message>
    <message>
        <source>PROGRAM 左 ・ NEXT 右</source>
        <translation>PROGRAM left · NEXT right</translation>
    </message>
    <message>
        <source>右 → 左（送るとサムネイルが右へ流れる・既定）</source>
        <translation>Right → left (thumbnails move right when taken; default)</translation>
    </message>
    <message>
        <source>左 → 右（送るとサムネイルが左へ流れる）</source>
        <translation>Left → right (thumbnails move left when taken)</translation>
    </message>
    <message>
        <source>市松</source>
        <translation>Checker</translation>
    </message>
    <message>
        <source>カスタムサイズは SDI の規格に無いため、SDI 出力では使えません。画面のプレビューだけで使う場合に限ります。</source>
        <translation>Custom sizes are not SDI standards and cannot be used for SDI output. Use them only for the on-screen preview.</translation>
    </message>
    <message>
        <source>操作画面以外のディスプレイが見つかりません</source>
        <translation>No display other than the control screen was found</translation>
    </message>
    <message>
        <source>SDI 出力とは独立しています。同時に出せます。クロマキーをONにした場合だけ、透明部分の下地がここで設定した色になります。</source>
        <translation>Independent of the SDI output; both can run at once. Only with the chroma key on are transparent areas filled with the colour set here.</translation>
    </message>
    <message>
        <source>SDIまたはサブモニター同時出力時は、OBS 出力を最大1080p・半分のフレームレート（59.94p なら 29.97p）に抑えて送出を優先します。出力中に送り方を変えると、新しい送り方で開き直します。</source>
        <translation>While SDI or the sub-monitor also runs, the OBS output is held to at most 1080p at half the frame rate (29.97p for 59.94p) to give playout priority. Changing the transport while it runs reopens it on the new transport.</translation>
    </message>
    <message>
        <source>10bit（フィル＋キー）は Ay10 で両方の信号を 10bit 出力します。対応機器・モードでのみ選べます。10bit（フィルのみ）は v210 でキーを出しません。合成元の BGRA は 8bit です。SDI 出力中は変えられません。</source>
        <translation>10-bit (fill + key) outputs both signals in 10 bit as Ay10; only on devices and modes that support it. 10-bit (fill only) uses v210 and sends no key. The composited BGRA source is 8-bit. Cannot be changed while SDI runs.</translation>
    </message>
    <message>
        <source>スイッチャー側のキー設定に合わせます。合っていないと透過の縁に黒フチや滲みが出ます。プリマルチプライドはフェード中にフィル信号そのものが暗くなります（合成結果は正しくなります）。フィルを触らせたくない場合はストレートを選んでください。</source>
        <translation>Match the switcher's key setting. A mismatch gives dark or smeared edges around transparency. Premultiplied darkens the fill signal itself during fades (the composite stays correct). Choose straight to leave the fill untouched.</translation>
    </message>
    <message>
        <source>PROGRAM の音声と基準信号を 48 kHz・2ch で SDI に乗せます。映像フレームと同じ時刻で予約するので、長時間でも音と絵の間隔は広がりません。フェーダーは SDI にも掛かります。このコンピュータのスピーカーから出さない設定にすると、SDI 出力を開始した時点で音の出口が SDI に切り替わり、止めるとこのコンピュータに戻ります。</source>
        <translation>Embeds PROGRAM audio and reference tones in SDI at 48 kHz, 2 ch. Audio is scheduled with the video frames, so sound and picture do not drift apart even over long runs. The fader applies to SDI too. With this computer's speakers muted, audio moves to SDI when SDI output starts and returns to this computer when it stops.</translation>
    </message>
    <message>
        <source>8bit 出力時の外部キーヤー設定です。10bit（フィル＋キー）では自動的に有効にします。</source>
        <translation>The external keyer setting for 8-bit output. 10-bit (fill + key) enables it automatically.</translation>
    </message>
    <message>
        <source>SDI 出力を止めているときは、音声は Linux の既定の出力デバイスへ流れます。SDI 出力中の音声は「SDI 出力」の設定に従います。</source>
        <translation>While SDI output is stopped, audio goes to the system's default output device. While SDI runs, audio follows the “SDI Output” settings.</translation>
    </message>
    <message>
        <source>選んだフォルダを利用できないため、標準の場所に保存しています。</source>
        <translation>The chosen folder cannot be used, so autosaves go to the standard location.</translation>
    </message>
    <message>
        <source>正常終了すると復帰用の自動保存ファイルは削除されます。</source>
        <translation>The recovery autosave file is deleted when the application quits normally.</translation>
    </message>
    <message>
        <source>メニューの「テストパターン」から選びます。送出中でもすぐ出力が差し替わり、もう一度選ぶか Ctrl+Shift+T・ESC で元の絵に戻ります。</source>
        <translation>Choose from the “Test Pattern” menu. The output switches at once, even on air; choose it again or press Ctrl+Shift+T or Esc to return to the picture.</translation>
    </message>
    <message>
        <source>透過動画の縁に黒フチや白フチが出るときに切り替えます。静止画は常に正しく処理されるので影響しません。フェードはキーだけを落とすので、フィルの輝度は変わりません。</source>
        <translation>Switch this when transparent movies show dark or light fringes. Stills are always handled correctly and are not affected. Fades lower only the key, so the fill's brightness does not change.</translation>
    </message>
    <message>
        <source>右 → 左では 1 枚目が右端になり、次の素材は左に並びます。マーカー帯も同じ向きになります。→ キーで次の素材、← キーで前の素材です（並びの向きには関係ありません）。</source>
        <translation>Right → left puts the first item at the right end with the next ones to its left; the marker band follows. The → key goes to the next item and ← to the previous one (whatever the direction).</translation>
    </message>
    <message>
        <source>外部アプリで保存した変更をサムネイルとNEXTへ反映します。ON AIR中のPROGRAMは変更しません。</source>
        <translation>Applies changes saved in other applications to the thumbnails and NEXT. PROGRAM on air is not changed.</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Output Format</translation>
    </message>
    <message>
        <source>フレームレート</source>
        <translation>Frame Rate</translation>
    </message>
    <message>
        <source>カスタム…</source>
        <translation>Custom…</translation>
    </message>
    <message>
        <source>出力先ディスプレイ</source>
        <translation>Output Display</translation>
    </message>
    <message>
        <source>クロマキーの色</source>
        <translation>Chroma Key Colour</translation>
    </message>
    <message>
        <source>OBS</source>
        <translation>OBS</translation>
    </message>
    <message>
        <source>送り方</source>
        <translation>Transport</translation>
    </message>
    <message>
        <source>出力先</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>機器を再検出</source>
        <translation>Rescan Devices</translation>
    </message>
    <message>
        <source>ビット深度</source>
        <translation>Bit Depth</translation>
    </message>
    <message>
        <source>キーの形式</source>
        <translation>Key Format</translation>
    </message>
    <message>
        <source>SDI に音声を乗せる（エンベデッド）</source>
        <translation>Embed audio in SDI</translation>
    </message>
    <message>
        <source>SDI 出力中はこのコンピュータのスピーカーから音を出さない</source>
        <translation>Mute this computer's speakers while SDI runs</translation>
    </message>
    <message>
        <source>外部キーヤーを有効にする</source>
        <translation>Enable the external keyer</translation>
    </message>
    <message>
        <source>送出したらネクストを自動で進める</source>
        <translation>Advance NEXT automatically after a take</translation>
    </message>
    <message>
        <source>動画の埋め込み音声を出す</source>
        <translation>Play the movies' embedded audio</translation>
    </message>
    <message>
        <source>自動保存</source>
        <translation>Autosave</translation>
    </message>
    <message>
        <source>保存間隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>保存先</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>フォルダを選ぶ…</source>
        <translation>Choose Folder…</translation>
    </message>
    <message>
        <source>標準の場所に戻す</source>
        <translation>Use Standard Location</translation>
    </message>
    <message>
        <source>LED キャビネット 1 枚</source>
        <translation>One LED cabinet</translation>
    </message>
    <message>
        <source>横</source>
        <translation>W</translation>
    </message>
    <message>
        <source>縦</source>
        <translation>H</translation>
    </message>
    <message>
        <source>アルファ</source>
        <translation>Alpha</translation>
    </message>
    <message>
        <source>動画のアルファをプリマルチプライドとして扱う</source>
        <translation>Treat movie alpha as premultiplied</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>言語</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>背景の明るさ</source>
        <translation>Background Brightness</translation>
    </message>
    <message>
        <source>NEXT と PROGRAM</source>
        <translation>NEXT and PROGRAM</translation>
    </message>
    <message>
        <source>サムネイルの並び</source>
        <translation>Thumbnail Order</translation>
    </message>
    <message>
        <source>プレビューの下地</source>
        <translation>Preview Background</translation>
    </message>
    <message>
        <source>アプリに戻ったとき素材を再読み込み</source>
        <translation>Reload media when returning to the application</translation>
    </message>
    <message>
        <source>機器が見つかりません</source>
        <translation>No device found</translation>
    </message>
    <message>
        <source>自動保存先のフォルダを選んでください。</source>
        <translation>Choose the autosave folder.</translation>
    </message>
    <message>
        <source>保存先を変更できませんでした</source>
        <translation>Could not change the location</translation>
    </message>
    <message>
        <source>SDI 出力中はフォーマットを変更できません</source>
        <translation>Cannot change the format while SDI output runs</translation>
    </message>
    <message>
        <source>設定ファイルを読み込めなかったため %@ に移し、読めた設定を引き継ぎました</source>
        <translation>The settings file could not be read; it was moved to %@ and the settings that could be read were kept</translation>
    </message>
    <message>
        <source>設定ファイルを読み込めないため、設定を保存しません: %@</source>
        <translation>The settings file cannot be read, so settings are not saved: %@</translation>
    </message>
    <message>
        <source>設定を保存できません。変更は終了するまで保たれ、次の変更で保存し直します: %@</source>
        <translation>Settings cannot be saved. Changes are kept until quit and saved again with the next change: %@</translation>
    </message>
    <message>
        <source>設定ファイルが読み取り専用のため、変更はこの実行中のみ有効です</source>
        <translation>The settings file is read-only: changes last only until the program quits</translation>
    </message>
    <message>
        <source>設定の保存を再開しました</source>
        <translation>Settings are saved again</translation>
    </message>
</context>
</TS>
