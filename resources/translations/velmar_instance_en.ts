<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>プロジェクトファイル以外は開きません: %@</source>
        <translation>Only project files are opened; not opened: %@</translation>
    </message>
    <message>
        <source>自動保存フォルダは別に起動している DOVRINE が使用中のため、自動保存しません</source>
        <translation>Another running DOVRINE uses the autosave folder, so this one does not autosave</translation>
    </message>
    <message>
        <source>フォルダ %@ を使えないため、受け渡しなしで起動しました: %@</source>
        <translation>Started without handing files over: the folder %@ cannot be used: %@</translation>
    </message>
    <message>
        <source>フォルダ %@ が自分専用でないため、受け渡しなしで起動しました</source>
        <translation>Started without handing files over: the folder %@ is not this user's alone</translation>
    </message>
    <message>
        <source>別の起動の判定が %lld 秒で終わらないため、受け渡しなしで起動しました</source>
        <translation>Started without handing files over: another start did not finish deciding within %lld seconds</translation>
    </message>
    <message>
        <source>起動判定のロックを取れないため、受け渡しなしで起動しました: %@</source>
        <translation>Started without handing files over: the start-up lock cannot be taken: %@</translation>
    </message>
    <message>
        <source>%@ で待ち受けできないため、後のファイルは別の DOVRINE で開きます</source>
        <translation>Cannot listen on %@; files opened later start another DOVRINE</translation>
    </message>
    <message>
        <source>起動中の DOVRINE が %lld 秒以内に答えません</source>
        <translation>The running DOVRINE did not answer within %lld seconds</translation>
    </message>
    <message>
        <source>起動中の DOVRINE の答えが不正です</source>
        <translation>The running DOVRINE gave an answer that is not understood</translation>
    </message>
    <message>
        <source>起動中の DOVRINE が %lld 秒以内に接続を受け付けません</source>
        <translation>The running DOVRINE did not take the connection within %lld seconds</translation>
    </message>
    <message>
        <source>DOVRINE は起動中ですが応答しません: %@</source>
        <translation>DOVRINE is already running but does not answer: %@</translation>
    </message>
    <message>
        <source>起動中の DOVRINE がファイルを受け取らずに接続を閉じました</source>
        <translation>The running DOVRINE closed the connection without taking the files</translation>
    </message>
    <message>
        <source>ファイル名が UTF-8 でないため、保存するときは保存先を選びます: %@</source>
        <translation>The file name is not valid UTF-8, so saving asks where to save: %@</translation>
    </message>
</context>
</TS>
