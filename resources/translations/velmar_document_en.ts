<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>%@ を上書きしますか。</source>
        <translation>Do you want to replace %@?</translation>
    </message>
    <message>
        <source>1 件の素材を読み込めません</source>
        <translation>1 clip cannot be read</translation>
    </message>
    <message>
        <source>%lld 件の素材を読み込めません</source>
        <translation>%lld clips cannot be read</translation>
    </message>
    <message>
        <source>Adobe Photoshopが見つかりません</source>
        <translation>Adobe Photoshop was not found</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Photoshopで開けませんでした: %@</source>
        <translation>Could not open in Photoshop: %@</translation>
    </message>
    <message>
        <source>これらはリストに残りますが、送出はできません。対応する形式に書き出し直してください。</source>
        <translation>They stay in the list but cannot go on air. Export them again in a supported format.</translation>
    </message>
    <message>
        <source>ほか %lld 件</source>
        <translation>and %lld more</translation>
    </message>
    <message>
        <source>プロジェクトに保存されていない変更があります。</source>
        <translation>The project has changes that have not been saved.</translation>
    </message>
    <message>
        <source>プロジェクトの設定に合わせて SDI 出力を切り替えました</source>
        <translation>Switched the SDI output to match the project</translation>
    </message>
    <message>
        <source>プロジェクトを保存</source>
        <translation>Save Project</translation>
    </message>
    <message>
        <source>プロジェクトを開く</source>
        <translation>Open Project</translation>
    </message>
    <message>
        <source>プロジェクトを開くと、メイン映像と DSK をすべて OFF にします。</source>
        <translation>Opening a project turns the main picture and the DSK off.</translation>
    </message>
    <message>
        <source>上書き</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>保存されずに終了した内容が見つかりました。</source>
        <translation>Work that was not saved before the program ended was found.</translation>
    </message>
    <message>
        <source>保存しない</source>
        <translation>Don't Save</translation>
    </message>
    <message>
        <source>保存しました: %@</source>
        <translation>Saved: %@</translation>
    </message>
    <message>
        <source>保存に失敗: %@</source>
        <translation>Save failed: %@</translation>
    </message>
    <message>
        <source>元のファイル: %@</source>
        <translation>Original file: %@</translation>
    </message>
    <message>
        <source>前回の作業が残っています</source>
        <translation>Work from the last session was found</translation>
    </message>
    <message>
        <source>前回の作業を復帰しました。別名で保存し直してください。</source>
        <translation>Restored the last session's work. Save it again under a new name.</translation>
    </message>
    <message>
        <source>前回の自動保存を読み込めないため %@ として残しました</source>
        <translation>The last autosave could not be read; it was kept as %@</translation>
    </message>
    <message>
        <source>同じ名前のファイルがあります</source>
        <translation>A file with the same name exists</translation>
    </message>
    <message>
        <source>変更を保存しますか？</source>
        <translation>Do you want to save the changes?</translation>
    </message>
    <message>
        <source>差し替える素材が今のタブに無いため、差し替えませんでした</source>
        <translation>The clip to replace is no longer in the current tab; nothing was replaced</translation>
    </message>
    <message>
        <source>差し替える素材を選択</source>
        <translation>Choose the file to replace the clip with</translation>
    </message>
    <message>
        <source>復帰する</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>既定のアプリケーションで開けませんでした</source>
        <translation>The default application could not open the file</translation>
    </message>
    <message>
        <source>最後の控え: %@</source>
        <translation>Last autosave: %@</translation>
    </message>
    <message>
        <source>破棄する</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>素材 %lld 件を開く許可がありません。素材が入っているフォルダを選んでください。</source>
        <translation>No permission to open %lld media files. Choose the folder that holds them.</translation>
    </message>
    <message>
        <source>読み込みに失敗: %@</source>
        <translation>Open failed: %@</translation>
    </message>
    <message>
        <source>読み込みました: %@</source>
        <translation>Opened: %@</translation>
    </message>
    <message>
        <source>読み込みました（%lld 件のファイルが見つかりません）</source>
        <translation>Opened (%lld files not found)</translation>
    </message>
    <message>
        <source>送出が始まったためプロジェクトの読み込みを中止しました</source>
        <translation>Stopped opening the project because output started</translation>
    </message>
    <message>
        <source>送出する素材を選択（静止画・動画、フォルダ選択も可）</source>
        <translation>Choose media to play out (stills, movies or folders)</translation>
    </message>
    <message>
        <source>送出中です</source>
        <translation>On air</translation>
    </message>
    <message>
        <source>黒にして開く</source>
        <translation>Go to Black and Open</translation>
    </message>
    <message>
        <source>自動保存フォルダのロック %@ を取れないため、自動保存しません: %@</source>
        <translation>The autosave folder's lock %@ cannot be taken, so this copy does not autosave: %@</translation>
    </message>
    <message>
        <source>別に起動している DOVRINE が自動保存フォルダを使い始めたため、自動保存を止めました</source>
        <translation>Another running DOVRINE took over the autosave folder, so autosaving stopped</translation>
    </message>
    <message>
        <source>%@ に自動保存できません: %@</source>
        <translation>Cannot autosave %@: %@</translation>
    </message>
    <message>
        <source>自動保存は %@ を使わず、削除もしません: %@</source>
        <translation>Autosave neither uses nor deletes %@: %@</translation>
    </message>
    <message>
        <source>自動保存先に選んだフォルダ %@ を使えないため、標準の場所に自動保存します: %@</source>
        <translation>The autosave folder you chose, %@, cannot be used, so autosave goes to the standard place: %@</translation>
    </message>
    <message>
        <source>他のユーザーがファイルの名前を変えたり削除したりできるフォルダです</source>
        <translation>Other users can rename or remove files in this folder</translation>
    </message>
    <message>
        <source>選んだフォルダでは他のユーザーがファイルの名前を変えたり削除したりできます。自分だけが変更できるフォルダか、スティッキービットの付いたフォルダ（/tmp など）を選んでください。</source>
        <translation>Other users can rename or remove files in the chosen folder. Please choose a folder only you can change, or one with the sticky bit (like /tmp).</translation>
    </message>
    <message>
        <source>自動保存を再開しました</source>
        <translation>Autosaving works again</translation>
    </message>
</context>
</TS>
