<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CommandLine</name>
    <message>
        <location filename="../command_line.cpp" line="37" />
        <source>不明なオプションです: %1</source>
        <translation>unknown option: %1</translation>
    </message>
    <message>
        <location filename="../command_line.cpp" line="45" />
        <source>開けるファイルは1つだけです: %1</source>
        <translation>only one file can be opened: %1</translation>
    </message>
    <message>
        <location filename="../command_line.cpp" line="54" />
        <source>使い方: vza-extract [ファイル]
        vza-extract --extract-here ファイル...
VZ Archive形式 (*.vza) のアーカイブを一覧表示し、選んだファイルを展開します。
ファイルを指定すると、起動時にそのアーカイブを読み込みます。

  --extract-here  各アーカイブを、その隣にある同じ名前の新しいフォルダへ
                  全て展開し、まとめを表示して終了します
  --help          この説明を表示して終了します
  --version       バージョンを表示して終了します
</source>
        <translation>Usage: vza-extract [FILE]
       vza-extract --extract-here FILE...
Lists a VZ Archive (*.vza) and extracts the files you choose.
Given a FILE, the program reads that archive at start.

  --extract-here  extract all of each archive into a new folder beside it,
                  named after it; show one summary and exit
  --help          print this help and exit
  --version       print the version and exit
</translation>
    </message>
    <message>
        <location filename="../command_line.cpp" line="49" />
        <source>--extract-here には展開するファイルが必要です</source>
        <translation>--extract-here needs at least one file to extract</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="../main.cpp" line="57" />
        <source>%1: no display found (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are all unset).
This is a desktop program. To run it without a desktop, use a virtual display:
    xvfb-run -a %1
or draw off screen (nothing is shown):
    QT_QPA_PLATFORM=offscreen %1
</source>
        <translation>%1: no display found (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are all unset).
This is a desktop program. To run it without a desktop, use a virtual display:
    xvfb-run -a %1
or draw off screen (nothing is shown):
    QT_QPA_PLATFORM=offscreen %1
</translation>
    </message>
</context>
<context>
    <name>vzA_ExtWindow</name>
    <message>
        <location filename="../ext_window.cpp" line="98" />
        <location filename="../ext_window.cpp" line="344" />
        <source>VZ Archive Extract</source>
        <translation>VZ Archive Extract</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="130" />
        <source>終了</source>
        <translation>Quit</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="130" />
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="131" />
        <source>アーカイブ読込</source>
        <translation>Open Archive</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="131" />
        <source>Ctrl+O</source>
        <translation>Ctrl+O</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="132" />
        <location filename="../ext_window_commands.cpp" line="73" />
        <source>ファイル名変更</source>
        <translation>Rename File</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="132" />
        <source>Ctrl+T</source>
        <translation>Ctrl+T</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="133" />
        <source>ファイル名置換</source>
        <translation>Replace in File Names</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="133" />
        <source>Ctrl+R</source>
        <translation>Ctrl+R</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="134" />
        <source>ファイル展開</source>
        <translation>Extract Files</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="134" />
        <source>Ctrl+S</source>
        <translation>Ctrl+S</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="135" />
        <source>フォルダへ展開…</source>
        <translation>Extract to Folder…</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="135" />
        <source>Ctrl+E</source>
        <translation>Ctrl+E</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="137" />
        <source>テスト</source>
        <translation>Test</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="138" />
        <source>Qtについて</source>
        <translation>About Qt</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="177" />
        <source>ファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="178" />
        <source>データ名</source>
        <translation>Data name</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="179" />
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="180" />
        <source>格納サイズ</source>
        <translation>Stored size</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="252" />
        <source>読込</source>
        <translation>Open</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="253" />
        <source>変更</source>
        <translation>Rename</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="254" />
        <source>置換</source>
        <translation>Replace</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="255" />
        <location filename="../ext_window.cpp" line="285" />
        <location filename="../ext_window_extract.cpp" line="83" />
        <location filename="../ext_window_extract.cpp" line="88" />
        <source>展開</source>
        <translation>Extract</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="272" />
        <source>絞り込み (Ctrl+F)</source>
        <translation>Filter (Ctrl+F)</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="283" />
        <source>アプリケーション</source>
        <translation>Application</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="288" />
        <source>最近使ったファイル</source>
        <translation>Recent Files</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="297" />
        <source>文字コード</source>
        <translation>Encoding</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="301" />
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="302" />
        <source>UTF-8</source>
        <translation>UTF-8</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="303" />
        <source>Shift_JIS</source>
        <translation>Shift_JIS</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="304" />
        <source>Latin-1</source>
        <translation>Latin-1</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="314" />
        <source>バージョン</source>
        <translation>Version</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="345" />
        <source>VZ Archive Extract - %1</source>
        <translation>VZ Archive Extract - %1</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="370" />
        <source>%1　ファイル数: %2　合計サイズ: %3 バイト</source>
        <translation>%1   Files: %2   Total size: %3 bytes</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="376" />
        <source>暗号化・圧縮</source>
        <translation>encrypted, compressed</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="377" />
        <source>暗号化</source>
        <translation>encrypted</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="378" />
        <source>圧縮</source>
        <translation>compressed</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="380" />
        <source>表示: %1 個</source>
        <translation>Shown: %1</translation>
    </message>
    <message>
        <location filename="../ext_window.cpp" line="387" />
        <source>選択: %1 個 (%2)</source>
        <translation>Selected: %1 (%2)</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="52" />
        <source>通常のファイルではありません</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="65" />
        <source>指定エラー</source>
        <translation>Selection Error</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="65" />
        <source>データを1個だけ選択して下さい。</source>
        <translation>Please select exactly one row.</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="74" />
        <source>ファイル名を入力して下さい。</source>
        <translation>Enter the file name.</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="107" />
        <source>.</source>
        <translation>.</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="109" />
        <source>アーカイブファイル</source>
        <translation>Archive File</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="109" />
        <source>VZ Archive形式 (*.vza)</source>
        <translation>VZ Archive (*.vza)</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="158" />
        <source>読込失敗</source>
        <translation>Open Failed</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="158" />
        <source>読込に失敗したか,VZA形式ではありません</source>
        <translation>The file could not be read, or it is not a VZA archive</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="159" />
        <location filename="../ext_window_commands.cpp" line="169" />
        <location filename="../ext_window_extract.cpp" line="484" />
        <source>対象: %1
原因: %2</source>
        <translation>File: %1
Reason: %2</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="169" />
        <location filename="../ext_window_extract.cpp" line="317" />
        <location filename="../ext_window_extract.cpp" line="483" />
        <location filename="../ext_window_extract.cpp" line="486" />
        <source>展開失敗</source>
        <translation>Extraction Failed</translation>
    </message>
    <message>
        <location filename="../ext_window_commands.cpp" line="169" />
        <location filename="../ext_window_extract.cpp" line="317" />
        <location filename="../ext_window_extract.cpp" line="483" />
        <location filename="../ext_window_extract.cpp" line="486" />
        <source>アーカイブの展開に失敗しました。</source>
        <translation>Extracting the archive failed.</translation>
    </message>
    <message>
        <location filename="../ext_window_destination.cpp" line="42" />
        <source>展開先:</source>
        <translation>Extract to:</translation>
    </message>
    <message>
        <location filename="../ext_window_destination.cpp" line="47" />
        <source>参照…</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <location filename="../ext_window_destination.cpp" line="78" />
        <source>%1 (新しいフォルダ)</source>
        <translation>%1 (new folder)</translation>
    </message>
    <message>
        <location filename="../ext_window_destination.cpp" line="87" />
        <location filename="../ext_window_destination.cpp" line="111" />
        <location filename="../ext_window_extract.cpp" line="126" />
        <source>展開先フォルダ</source>
        <translation>Destination Folder</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="83" />
        <source>展開するファイルがありません。</source>
        <translation>There are no files to extract.</translation>
    </message>
    <message numerus="yes">
        <location filename="../ext_window_extract.cpp" line="89" />
        <source>選択がありません。全て (%n 個) を展開しますか？</source>
        <translation><numerusform>Nothing is selected. Extract the %n shown entry?</numerusform><numerusform>Nothing is selected. Extract all %n shown entries?</numerusform></translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="175" />
        <source>テスト中</source>
        <translation>Testing</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="175" />
        <location filename="../ext_window_extract.cpp" line="606" />
        <source>展開中</source>
        <translation>Extracting</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="176" />
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="214" />
        <source>テスト中: %1
%2 / %3 バイト</source>
        <translation>Testing: %1
%2 / %3 bytes</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="214" />
        <source>展開中: %1
%2 / %3 バイト</source>
        <translation>Extracting: %1
%2 / %3 bytes</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="228" />
        <source>上書き確認</source>
        <translation>Confirm Overwrite</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="229" />
        <source>%1 は既にあります。上書きしますか？</source>
        <translation>%1 already exists. Overwrite it?</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="236" />
        <source>既にあるファイル: %1
展開するファイル: %2</source>
        <translation>Existing file: %1
File to extract: %2</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="265" />
        <location filename="../ext_window_extract.cpp" line="301" />
        <source>名前を変えて保存</source>
        <translation>Save Under Another Name</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="318" />
        <location filename="../ext_window_extract.cpp" line="487" />
        <source>原因: %1</source>
        <translation>Reason: %1</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="318" />
        <source>一時フォルダを作成できません</source>
        <translation>cannot create a temporary folder</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="416" />
        <source>テスト結果</source>
        <translation>Test Result</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="417" />
        <source>テストで問題が見つかりました。</source>
        <translation>The test found problems.</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="417" />
        <source>テストが終わりました。</source>
        <translation>The test is done.</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="422" />
        <source>%1 個中 %2 個が失敗しました</source>
        <translation>%2 of %1 entries FAILED</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="424" />
        <source>%1 個のファイルに問題はありません</source>
        <translation>%1 entries OK</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="426" />
        <source>格納のみの %1 個は、この形式では検査できません</source>
        <translation>%1 stored entries have no check in this format</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="431" />
        <location filename="../ext_window_extract.cpp" line="550" />
        <source>ほか %1 個</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="436" />
        <source>展開できない名前です (%1)</source>
        <translation>a name extraction refuses (%1)</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="437" />
        <location filename="../ext_window_extract.cpp" line="548" />
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="452" />
        <source>名前が空です</source>
        <translation>the name is empty</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="453" />
        <source>名前にゼロバイトがあります</source>
        <translation>the name holds a zero byte</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="454" />
        <location filename="../ext_window_extract.cpp" line="576" />
        <source>安全なファイル名になりません</source>
        <translation>no safe file name is left</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="455" />
        <location filename="../ext_window_extract.cpp" line="577" />
        <source>フォルダの階層が深すぎます</source>
        <translation>folders nested too deep</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="456" />
        <location filename="../ext_window_extract.cpp" line="578" />
        <source>名前が長すぎます</source>
        <translation>name too long</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="479" />
        <location filename="../ext_window_extract.cpp" line="541" />
        <source>展開先: %1</source>
        <translation>Destination: %1</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="496" />
        <source>展開成功</source>
        <translation>Extraction Done</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="496" />
        <location filename="../ext_window_extract.cpp" line="526" />
        <source>展開結果</source>
        <translation>Extraction Result</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="497" />
        <source>全てのファイルの展開に成功しました。</source>
        <translation>All files were extracted.</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="497" />
        <location filename="../ext_window_extract.cpp" line="536" />
        <source>展開が終わりました。</source>
        <translation>Extraction is done.</translation>
    </message>
    <message numerus="yes">
        <location filename="../ext_window_extract.cpp" line="503" />
        <source>上書きしなかったファイル: %n 個</source>
        <translation><numerusform>%n file kept, not overwritten</numerusform><numerusform>%n files kept, not overwritten</numerusform></translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="512" />
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="530" />
        <source>展開先フォルダを使えません。</source>
        <translation>The destination folder cannot be used.</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="532" />
        <source>展開先: %1
原因: %2</source>
        <translation>Destination: %1
Reason: %2</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="536" />
        <source>展開を中止しました。</source>
        <translation>Extraction was stopped.</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="538" />
        <source>書き込み: %1 個、スキップ: %2 個、失敗: %3 個</source>
        <translation>Written: %1, skipped: %2, failed: %3</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="574" />
        <source>中止しました</source>
        <translation>stopped</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="575" />
        <source>エントリがありません</source>
        <translation>no such entry</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="579" />
        <source>%1 はシンボリックリンクのため、その先へは書き込みません</source>
        <translation>%1 is a symbolic link; nothing is written through it</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="580" />
        <source>%1 はフォルダではありません</source>
        <translation>%1 is not a folder</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="581" />
        <source>フォルダ %1 がありません</source>
        <translation>the folder %1 is missing</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="582" />
        <source>フォルダ %1 を作成できません (%2)</source>
        <translation>cannot create the folder %1 (%2)</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="583" />
        <source>同じ名前のフォルダがあります</source>
        <translation>a folder of that name is in the way</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="584" />
        <source>同じ名前の特殊ファイルがあるため置き換えません</source>
        <translation>a special file of that name is in the way and is not replaced</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="585" />
        <source>読込中のアーカイブ自身には書き込みません</source>
        <translation>that is the archive being read; it is never written</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="586" />
        <source>既にあるため上書きしませんでした</source>
        <translation>kept the existing file</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="587" />
        <source>ファイルを作成できません (%1)</source>
        <translation>cannot create the file (%1)</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="589" />
        <source>エントリを読み出せません (%1)</source>
        <translation>cannot read the entry (%1)</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="590" />
        <source>ファイルを書き込めません (%1)</source>
        <translation>cannot write the file (%1)</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="592" />
        <source>失敗しました</source>
        <translation>failed</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="606" />
        <source>展開を中止して終了しますか？</source>
        <translation>Stop extracting and quit?</translation>
    </message>
    <message>
        <location filename="../ext_window_extract.cpp" line="657" />
        <source>作成するフォルダが多すぎるため、何も書き込みませんでした</source>
        <translation>too many folders to make, so nothing was written</translation>
    </message>
    <message>
        <location filename="../ext_window_here.cpp" line="45" />
        <source>パスワードが入力されませんでした</source>
        <translation>no password was given</translation>
    </message>
    <message>
        <location filename="../ext_window_here.cpp" line="52" />
        <source>展開先が選ばれませんでした</source>
        <translation>no destination folder was chosen</translation>
    </message>
    <message>
        <location filename="../ext_window_here.cpp" line="79" />
        <source>展開先フォルダを使えません (%1)</source>
        <translation>the destination folder cannot be used (%1)</translation>
    </message>
    <message>
        <location filename="../ext_window_here.cpp" line="115" />
        <source>%1: 展開できません (%2)</source>
        <translation>%1: not extracted (%2)</translation>
    </message>
</context>
<context>
    <name>vzA_PasswordDialog</name>
    <message>
        <location filename="../password_dialog.cpp" line="12" />
        <location filename="../password_dialog.cpp" line="50" />
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <location filename="../password_dialog.cpp" line="13" />
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <location filename="../password_dialog.cpp" line="14" />
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../password_dialog.cpp" line="56" />
        <source>%1 のパスワードを入力して下さい。</source>
        <translation>Enter the password of %1.</translation>
    </message>
    <message>
        <location filename="../password_dialog.cpp" line="58" />
        <source>パスワードが違います。もう一度入力して下さい。</source>
        <translation>The password is wrong. Please enter it again.</translation>
    </message>
</context>
<context>
    <name>vzA_ReplaceDialog</name>
    <message>
        <location filename="../replace_dialog.cpp" line="15" />
        <source>検索文字列</source>
        <translation>Search for</translation>
    </message>
    <message>
        <location filename="../replace_dialog.cpp" line="16" />
        <source>置換文字列</source>
        <translation>Replace with</translation>
    </message>
    <message>
        <location filename="../replace_dialog.cpp" line="18" />
        <location filename="../replace_dialog.cpp" line="58" />
        <source>置換</source>
        <translation>Replace</translation>
    </message>
    <message>
        <location filename="../replace_dialog.cpp" line="19" />
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../replace_dialog.cpp" line="26" />
        <source>検索文字列を空にすることで、
</source>
        <translation>With an empty search text,
</translation>
    </message>
    <message>
        <location filename="../replace_dialog.cpp" line="27" />
        <source>ファイル名の先頭に文字列を付加することができます。</source>
        <translation>the replacement is put in front of each file name.</translation>
    </message>
</context>
<context>
    <name>vzA_SystemReason</name>
    <message>
        <location filename="../system_reason.cpp" line="15" />
        <source>アクセスが拒否されました</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="16" />
        <source>ディスクの空き容量が足りません</source>
        <translation>no space left on the disk</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="17" />
        <source>ディスク使用量の上限を超えました</source>
        <translation>disk quota exceeded</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="18" />
        <source>読み取り専用のファイルシステムです</source>
        <translation>read-only file system</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="19" />
        <source>名前が長すぎます</source>
        <translation>name too long</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="20" />
        <source>同じ名前のものが既にあります</source>
        <translation>something of that name exists</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="21" />
        <source>フォルダです</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="22" />
        <source>フォルダではありません</source>
        <translation>not a folder</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="23" />
        <source>シンボリックリンクをたどれません</source>
        <translation>cannot follow a symbolic link</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="24" />
        <source>入出力エラー</source>
        <translation>input/output error</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="26" />
        <source>開いているファイルが多すぎます</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="27" />
        <source>ファイルまたはフォルダがありません</source>
        <translation>no such file or folder</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="28" />
        <source>ファイルが大きすぎます</source>
        <translation>file too large</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="30" />
        <source>使用中です</source>
        <translation>in use</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="31" />
        <source>メモリが足りません</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="42" />
        <source>アーカイブを開けません</source>
        <translation>cannot open the archive</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="43" />
        <source>VZA形式ではありません</source>
        <translation>not a VZA archive</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="44" />
        <source>パスワードが必要です</source>
        <translation>a password is needed</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="45" />
        <source>パスワードが違うか、ヘッダが壊れています</source>
        <translation>wrong password or damaged header</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="46" />
        <source>インデックスが壊れています</source>
        <translation>damaged index</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="47" />
        <source>エントリがありません</source>
        <translation>no such entry</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="48" />
        <source>データが途中で切れています</source>
        <translation>entry data truncated</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="49" />
        <source>データが壊れています</source>
        <translation>entry data corrupt</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="50" />
        <source>データが記録された大きさを超えています</source>
        <translation>entry larger than stated</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="51" />
        <source>データが記録された大きさに足りません</source>
        <translation>entry shorter than stated</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="52" />
        <source>安全なファイル名になりません</source>
        <translation>no safe file name is left</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="53" />
        <source>ファイルを読み込めません</source>
        <translation>cannot read the file</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="54" />
        <source>読込中にファイルが変わりました</source>
        <translation>the file changed while being read</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="55" />
        <source>ファイルを書き込めません</source>
        <translation>cannot write the file</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="56" />
        <source>アーカイブが大きすぎます</source>
        <translation>archive too large</translation>
    </message>
    <message>
        <location filename="../system_reason.cpp" line="57" />
        <source>圧縮に失敗しました</source>
        <translation>compression failed</translation>
    </message>
</context>
</TS>