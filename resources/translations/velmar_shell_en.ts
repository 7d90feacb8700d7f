<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>設定…</source>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>DOVRINE を終了</source>
        <translation>Quit DOVRINE</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>File</translation>
    </message>
    <message>
        <source>プロジェクトを開く…</source>
        <translation>Open Project…</translation>
    </message>
    <message>
        <source>別名で保存…</source>
        <translation>Save As…</translation>
    </message>
    <message>
        <source>素材をインポート…</source>
        <translation>Import Media…</translation>
    </message>
    <message>
        <source>静止画・動画…</source>
        <translation>Stills and Movies…</translation>
    </message>
    <message>
        <source>素材を差し替え…</source>
        <translation>Replace Media…</translation>
    </message>
    <message>
        <source>すべて選択</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>選択を解除</source>
        <translation>Deselect</translation>
    </message>
    <message>
        <source>選択をまとめて左へ</source>
        <translation>Move Selection Left</translation>
    </message>
    <message>
        <source>選択をまとめて右へ</source>
        <translation>Move Selection Right</translation>
    </message>
    <message>
        <source>選択を削除</source>
        <translation>Delete Selection</translation>
    </message>
    <message>
        <source>名前で絞り込み…</source>
        <translation>Filter by Name…</translation>
    </message>
    <message>
        <source>エフェクト</source>
        <translation>Effects</translation>
    </message>
    <message>
        <source>デュレーションを入力…（カーソル / Tab）</source>
        <translation>Enter Duration… (Cursor / Tab)</translation>
    </message>
    <message>
        <source>デュレーションを一括入力…</source>
        <translation>Enter Duration for All…</translation>
    </message>
    <message>
        <source>既定に戻す</source>
        <translation>Back to Default</translation>
    </message>
    <message>
        <source>送出</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>SDI 出力 開始 / 停止</source>
        <translation>Start / Stop SDI Output</translation>
    </message>
    <message>
        <source>サブモニター 開始 / 停止</source>
        <translation>Start / Stop Sub Monitor</translation>
    </message>
    <message>
        <source>本番前チェック…</source>
        <translation>Pre-show Check…</translation>
    </message>
    <message>
        <source>送出ログを開く</source>
        <translation>Open Playout Log</translation>
    </message>
    <message>
        <source>プロジェクトの控えを開く</source>
        <translation>Open Project Backups</translation>
    </message>
    <message>
        <source>前のタブ</source>
        <translation>Previous Tab</translation>
    </message>
    <message>
        <source>次のタブ</source>
        <translation>Next Tab</translation>
    </message>
    <message>
        <source>緊急停止</source>
        <translation>Panic Stop</translation>
    </message>
    <message>
        <source>タブを追加</source>
        <translation>Add Tab</translation>
    </message>
    <message>
        <source>ヘルプ</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
</context>
</TS>
