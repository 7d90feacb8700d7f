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
        <source>テクスチャ共有ランタイムが見つかりません</source>
        <translation>The texture-sharing runtime cannot be found</translation>
    </message>
    <message>
        <source>テクスチャ共有ランタイム（libvelmar-texshare.so）を読み込めません</source>
        <translation>Cannot load the texture-sharing runtime (libvelmar-texshare.so)</translation>
    </message>
    <message>
        <source>このテクスチャ共有ランタイムは共有テクスチャの送信に対応していません</source>
        <translation>This texture-sharing runtime cannot serve shared textures</translation>
    </message>
    <message>
        <source>共有テクスチャの送信を開始できません</source>
        <translation>Cannot start the shared-texture feed</translation>
    </message>
</context>
</TS>
