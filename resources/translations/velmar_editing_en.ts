<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>オンエア中は%@できません</source>
        <translation>%@ is not possible while on air</translation>
    </message>
    <message>
        <source>素材の差し替えは</source>
        <translation>Replacing media</translation>
    </message>
    <message>
        <source>タブの削除は</source>
        <translation>Removing a tab</translation>
    </message>
    <message>
        <source>タブの並べ替えは</source>
        <translation>Reordering tabs</translation>
    </message>
    <message>
        <source>最後のタブは削除できません</source>
        <translation>The last tab cannot be removed</translation>
    </message>
    <message>
        <source>取り込み先のタブが無くなったため、追加を取りやめました</source>
        <translation>The destination tab no longer exists, so nothing was added</translation>
    </message>
    <message>
        <source>対応する素材がありませんでした</source>
        <translation>No supported media were found</translation>
    </message>
    <message>
        <source>素材は全体で %lld 件までです</source>
        <translation>The rundown holds at most %lld clips</translation>
    </message>
    <message>
        <source>%lld 件を追加しました（上限を超える %lld 件は追加していません）</source>
        <translation>Added %lld (%lld over the limit were not added)</translation>
    </message>
    <message>
        <source>%lld 件を追加しました</source>
        <translation>Added %lld</translation>
    </message>
    <message>
        <source>%lld 件を %lld 番目に追加しました</source>
        <translation>Added %lld at position %lld</translation>
    </message>
    <message>
        <source>差し替えました: %@</source>
        <translation>Replaced: %@</translation>
    </message>
    <message>
        <source>%lld 件を「%@」へ移動しました</source>
        <translation>Moved %lld to “%@”</translation>
    </message>
    <message>
        <source>%lld 件を削除しました</source>
        <translation>Deleted %lld</translation>
    </message>
    <message>
        <source>配置を戻しました（%lld 件）</source>
        <translation>Placement reset (%lld)</translation>
    </message>
    <message>
        <source>FIT: %lld 件をキャンバスに合わせました</source>
        <translation>FIT: %lld fitted to the canvas</translation>
    </message>
    <message>
        <source>画像サイズの確認が終わってから FIT を押してください</source>
        <translation>Press FIT once the image sizes have been checked</translation>
    </message>
    <message>
        <source>FIT の対象になる小さい静止画がありません</source>
        <translation>No small stills to fit</translation>
    </message>
    <message>
        <source>無限</source>
        <translation>Endless</translation>
    </message>
    <message>
        <source>%lld 回</source>
        <translation>%lld times</translation>
    </message>
    <message>
        <source>繰り返し: %@（%lld 件）</source>
        <translation>Loop: %@ (%lld)</translation>
    </message>
    <message>
        <source>既定</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>モーション: %@（%lld 件）</source>
        <translation>Motion: %@ (%lld)</translation>
    </message>
    <message>
        <source>キャンバスのサイズが安全上限を超えています</source>
        <translation>The canvas size exceeds the safety limit</translation>
    </message>
    <message>
        <source>オンエア中はフォーマットを変更できません</source>
        <translation>The format cannot be changed while on air</translation>
    </message>
    <message>
        <source>フォーマット: %@</source>
        <translation>Format: %@</translation>
    </message>
    <message>
        <source>オンエア中はフレームレートを変更できません</source>
        <translation>The frame rate cannot be changed while on air</translation>
    </message>
    <message>
        <source>フレームレート: %@</source>
        <translation>Frame rate: %@</translation>
    </message>
</context>
</TS>
