<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>小</source>
        <translation>Small</translation>
    </message>
    <message>
        <source>縮小</source>
        <translation>Shrunk</translation>
    </message>
    <message>
        <source>この素材の尺</source>
        <translation>This clip's duration</translation>
    </message>
    <message>
        <source>共通尺 %.2f 秒</source>
        <translation>Common duration %.2f s</translation>
    </message>
    <message>
        <source>配置を変えてあります</source>
        <translation>Placement changed</translation>
    </message>
    <message>
        <source>消す</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>ここへ移動</source>
        <translation>Go here</translation>
    </message>
    <message>
        <source>選択をまとめて前へ</source>
        <translation>Move selection earlier</translation>
    </message>
    <message>
        <source>前へ移動</source>
        <translation>Move earlier</translation>
    </message>
    <message>
        <source>選択をまとめて後ろへ</source>
        <translation>Move selection later</translation>
    </message>
    <message>
        <source>後ろへ移動</source>
        <translation>Move later</translation>
    </message>
    <message>
        <source>別のタブへ移動</source>
        <translation>Move to another tab</translation>
    </message>
    <message>
        <source>フォトショップで編集</source>
        <translation>Edit in image editor</translation>
    </message>
    <message>
        <source>リストから削除</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>名前を変更…</source>
        <translation>Rename…</translation>
    </message>
    <message>
        <source>マーカーを削除</source>
        <translation>Delete marker</translation>
    </message>
    <message>
        <source>左へ移動</source>
        <translation>Move left</translation>
    </message>
    <message>
        <source>右へ移動</source>
        <translation>Move right</translation>
    </message>
    <message>
        <source>タブを削除</source>
        <translation>Delete tab</translation>
    </message>
    <message>
        <source>マーカーを追加</source>
        <translation>Add marker</translation>
    </message>
    <message>
        <source>マーカー名を変更</source>
        <translation>Rename marker</translation>
    </message>
    <message>
        <source>例: B部門</source>
        <translation>e.g. Part B</translation>
    </message>
    <message>
        <source>ここにマーカーを追加</source>
        <translation>Add a marker here</translation>
    </message>
    <message>
        <source>ドラッグでマーカーを移動。青い線の位置へ挿入します</source>
        <translation>Drag to move the marker. It is inserted at the blue line</translation>
    </message>
    <message>
        <source>名前で絞り込み</source>
        <translation>Filter by name</translation>
    </message>
    <message>
        <source>合わないものは薄く表示されます。並び順と番号は変わりません。</source>
        <translation>Clips that do not match are dimmed. Order and numbers stay the same.</translation>
    </message>
    <message>
        <source>解除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%lld / %lld</source>
        <translation>%lld / %lld</translation>
    </message>
    <message>
        <source>タブ名</source>
        <translation>Tab name</translation>
    </message>
    <message>
        <source>絞り込みを解除</source>
        <translation>Clear the filter</translation>
    </message>
</context>
</TS>
