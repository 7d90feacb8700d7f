<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>NDI Runtime が見つかりません。プログラムと同じフォルダに libvelmar-netvideo.so があるか確認してください（NDI_RUNTIME_DIR_V6 でそのフォルダを指定することもできます）。</source>
        <translation>NDI Runtime not found. Check that libvelmar-netvideo.so is in the same folder as the program (NDI_RUNTIME_DIR_V6 can also name its folder).</translation>
    </message>
    <message>
        <source>このコンピュータの CPU は NDI に対応していません</source>
        <translation>This computer's CPU does not support NDI</translation>
    </message>
    <message>
        <source>NDI の送信を開始できません</source>
        <translation>Cannot start sending NDI</translation>
    </message>
    <message>
        <source>NDI の送信を開始できません: 接続先を書くフォルダ %@ が自分専用ではありません（リンクも使いません）</source>
        <translation>Cannot start sending NDI: the folder %@, where the address is written, is not this user's alone (nor may it be a link)</translation>
    </message>
    <message>
        <source>OBS Studio が見つかりません</source>
        <translation>OBS Studio not found</translation>
    </message>
    <message>
        <source>OBS の Syphon Framework を読み込めません</source>
        <translation>Cannot load the Syphon framework of OBS</translation>
    </message>
    <message>
        <source>この OBS の Syphon は Metal 出力に対応していません</source>
        <translation>The Syphon of this OBS does not support Metal output</translation>
    </message>
    <message>
        <source>Syphon 出力を開始できません</source>
        <translation>Cannot start the Syphon output</translation>
    </message>
</context>
</TS>
