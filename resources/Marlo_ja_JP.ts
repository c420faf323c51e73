<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>Body</name>
    <message>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Log: </source>
        <translation>記録</translation>
    </message>
    <message>
        <source>Msg to Stars</source>
        <translation>Starsへのメッセージ</translation>
    </message>
    <message>
        <source>Msg from Stars</source>
        <translation>Starsからのメッセージ</translation>
    </message>
    <message>
        <source>Emulate</source>
        <translation>疑似スペクトル発生</translation>
    </message>
    <message>
        <source>Show Settings</source>
        <translation>DSP設定</translation>
    </message>
    <message>
        <source>DeBug Function ! : Discard Data Link</source>
        <translation>検証用: データリンクを切る</translation>
    </message>
    <message>
        <source>in Body</source>
        <translation>無条件</translation>
    </message>
    <message>
        <source>in a VexDA</source>
        <translation>DSP読出時</translation>
    </message>
    <message>
        <source>Delay</source>
        <translation>遅延</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>[ms]</source>
        <translation>[ms]</translation>
    </message>
    <message>
        <source>Spectra</source>
        <translation>スペクトル</translation>
    </message>
    <message>
        <source>Quit Marlo?</source>
        <translation>Marloを終了しますか?</translation>
    </message>
    <message>
        <source>The connections to the units are closed, and STARS requests are no longer answered.</source>
        <translation>ユニットとの接続を閉じ、STARSの要求には応答しなくなります。</translation>
    </message>
</context>
<context>
    <name>ConfigLine</name>
    <message>
        <source>Config Line</source>
        <translation>設定行</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>DSP Name</source>
        <translation>DSP名</translation>
    </message>
    <message>
        <source>Ch No.</source>
        <translation>Ch番号</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>パラメータ説明</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>パラメータアドレス</translation>
    </message>
    <message>
        <source>Now Val</source>
        <translation>現在値</translation>
    </message>
    <message>
        <source>New Val</source>
        <translation>設定値</translation>
    </message>
    <message>
        <source>Loaded Val</source>
        <translation>読込値(ファイル)</translation>
    </message>
    <message>
        <source>(Now Hex)</source>
        <translation>現在地(16進)</translation>
    </message>
    <message>
        <source>(New Hex)</source>
        <translation>設定値(16進)</translation>
    </message>
    <message>
        <source>(Loaded Hex)</source>
        <translation>読込値(ファイル,16進)</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>応答なし</translation>
    </message>
</context>
<context>
    <name>ConnectStat</name>
    <message>
        <source>Connect</source>
        <translation>接続</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>接続状態</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>接続中</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>切断</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>未接続状態</translation>
    </message>
    <message>
        <source>Reconnecting</source>
        <translation>再接続中</translation>
    </message>
</context>
<context>
    <name>DspSettingCtrl</name>
    <message>
        <source>DSP Setting Ctrl</source>
        <translation>DSP設定コントロール</translation>
    </message>
    <message>
        <source>6Byte Val</source>
        <translation>6Byte値</translation>
    </message>
    <message>
        <source>4Byte Val</source>
        <translation>4Byte値</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Read Out DSP</source>
        <translation>DSP読出</translation>
    </message>
    <message>
        <source>Write Back DSP</source>
        <translation>DSP書込</translation>
    </message>
    <message>
        <source>Load File</source>
        <translation>設定ファイル読込</translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>設定ファイル保存</translation>
    </message>
    <message>
        <source>Copy Loaded</source>
        <translation>読込値を設定値に</translation>
    </message>
    <message>
        <source>The DSP settings could not be saved to %1 (%2).
A file that was there is left as it was.</source>
        <translation>DSP設定を %1 に保存できませんでした (%2)。
既存のファイルは変更されていません。</translation>
    </message>
</context>
<context>
    <name>DspSettingEngine</name>
    <message>
        <source>%1: DSP %2 of %3 (%4) does not answer</source>
        <translation>%1: DSP %2/%3 (%4) 応答なし</translation>
    </message>
    <message>
        <source>%1: DSP %2 of %3 (%4), register %5 of %6</source>
        <translation>%1: DSP %2/%3 (%4), レジスタ %5/%6</translation>
    </message>
    <message>
        <source>Reading out</source>
        <translation>読出</translation>
    </message>
    <message>
        <source>Writing back</source>
        <translation>書込</translation>
    </message>
    <message>
        <source>Dumping</source>
        <translation>ダンプ</translation>
    </message>
    <message>
        <source>Recovering</source>
        <translation>復元</translation>
    </message>
</context>
<context>
    <name>HistogramPlot</name>
    <message>
        <source>bin</source>
        <translation>ビン</translation>
    </message>
    <message>
        <source>counts</source>
        <translation>カウント</translation>
    </message>
</context>
<context>
    <name>LogArea</name>
    <message>
        <source>Log Area</source>
        <translation>記録表示領域</translation>
    </message>
    <message>
        <source>Write To</source>
        <translation>書出</translation>
    </message>
    <message>
        <source>Verbose</source>
        <translation>詳細情報</translation>
    </message>
    <message>
        <source>Keep at End</source>
        <translation>最新行を追従</translation>
    </message>
    <message>
        <source>(the line above repeated %1 times)</source>
        <translation>(上の行が %1 回繰り返されました)</translation>
    </message>
</context>
<context>
    <name>McaWindow</name>
    <message>
        <source>Spectra</source>
        <translation>スペクトル</translation>
    </message>
    <message>
        <source>Log scale</source>
        <translation>対数表示</translation>
    </message>
    <message>
        <source>Reset view</source>
        <translation>表示リセット</translation>
    </message>
    <message>
        <source>Refresh every</source>
        <translation>更新間隔</translation>
    </message>
    <message>
        <source> s</source>
        <translation> 秒</translation>
    </message>
    <message>
        <source>0 s: no refresh while measuring</source>
        <translation>0 秒: 測定中も更新しない</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>保存...</translation>
    </message>
    <message>
        <source>Elements shown in the plot</source>
        <translation>表示するエレメント</translation>
    </message>
    <message>
        <source>Element</source>
        <translation>エレメント</translation>
    </message>
    <message>
        <source>Real time (s)</source>
        <translation>リアルタイム (秒)</translation>
    </message>
    <message>
        <source>Live time (s)</source>
        <translation>ライブタイム (秒)</translation>
    </message>
    <message>
        <source>Dead time (%)</source>
        <translation>デッドタイム (%)</translation>
    </message>
    <message>
        <source>ICR (1/s)</source>
        <translation>ICR (1/秒)</translation>
    </message>
    <message>
        <source>OCR (1/s)</source>
        <translation>OCR (1/秒)</translation>
    </message>
    <message>
        <source>Total counts</source>
        <translation>全カウント</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
    <message>
        <source>ROI counts</source>
        <translation>ROIカウント</translation>
    </message>
    <message>
        <source>ROI rate (1/s)</source>
        <translation>ROIレート (1/秒)</translation>
    </message>
    <message>
        <source>Save spectra into a folder</source>
        <translation>スペクトルを保存するフォルダ</translation>
    </message>
    <message>
        <source>Refresh off</source>
        <translation>更新なし</translation>
    </message>
    <message>
        <source>Reading the units...</source>
        <translation>DSP読出中...</translation>
    </message>
    <message>
        <source>No answer from %1</source>
        <translation>%1 から応答なし</translation>
    </message>
    <message>
        <source>%1: bin %2, counts %3</source>
        <translation>%1: ビン %2, カウント %3</translation>
    </message>
    <message>
        <source>cannot make the folder %1</source>
        <translation>フォルダ %1 を作れません</translation>
    </message>
    <message>
        <source>Spectra saved to %1</source>
        <translation>スペクトルを %1 に保存しました</translation>
    </message>
    <message>
        <source>Spectra not saved: %1</source>
        <translation>スペクトルを保存できませんでした: %1</translation>
    </message>
    <message>
        <source>No element to read</source>
        <translation>読み出す要素がありません</translation>
    </message>
    <message>
        <source>Waiting for the data-link transfer to end...</source>
        <translation>データリンクの転送の終了を待っています...</translation>
    </message>
    <message>
        <source>%1 answers the Spectra window again</source>
        <translation>%1 が再びスペクトル表示に応答しました</translation>
    </message>
    <message>
        <source>%1 does not answer: the Spectra window tries it again every %2 s</source>
        <translation>%1 が応答しません: スペクトル表示は %2 秒ごとに再試行します</translation>
    </message>
</context>
<context>
    <name>Stars</name>
    <message>
        <source>Stars Settings</source>
        <translation>未接続</translation>
    </message>
    <message>
        <source>Name on Stares</source>
        <translation>Starsでの名前</translation>
    </message>
    <message>
        <source>Key File Name</source>
        <translation>キーファイル名</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>サーバアドレス</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>サーバポート</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>動作</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状態</translation>
    </message>
    <message>
        <source>Stars:</source>
        <translation>Stars:</translation>
    </message>
    <message>
        <source>Lumen</source>
        <translation>Marlo</translation>
    </message>
    <message>
        <source>Lumen.key</source>
        <translation>Marlo.key</translation>
    </message>
    <message>
        <source>localhost</source>
        <translation>localhost</translation>
    </message>
    <message>
        <source>6057</source>
        <translation>6057</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>接続</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>未接続</translation>
    </message>
</context>
<context>
    <name>StatDisp</name>
    <message>
        <source>Frame</source>
        <translation>状態</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状態</translation>
    </message>
</context>
<context>
    <name>UnitStat</name>
    <message>
        <source>DSP Status</source>
        <translation>DSP Status</translation>
    </message>
    <message>
        <source>dspN</source>
        <translation>dspN</translation>
    </message>
    <message>
        <source>192.168.10.1</source>
        <translation>192.168.10.1</translation>
    </message>
    <message>
        <source>TCP Connected</source>
        <translation>TCP接続</translation>
    </message>
    <message>
        <source>Timeout</source>
        <translation>タイムアウト</translation>
    </message>
    <message>
        <source>UDP Timeout</source>
        <translation>UDPタイムアウト</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>応答なし</translation>
    </message>
</context>
<context>
    <name>VexHv</name>
    <message>
        <source>Korvane HV Controll</source>
        <translation>Korvane HV Controll</translation>
    </message>
    <message>
        <source>Emergency</source>
        <translation>   緊急</translation>
    </message>
    <message>
        <source>   Polarity</source>
        <translation>   極性</translation>
    </message>
    <message>
        <source>   On</source>
        <translation>   オン</translation>
    </message>
    <message>
        <source>   Sweep Stat</source>
        <translation>   遷移状態</translation>
    </message>
    <message>
        <source>Voltage</source>
        <translation>   電圧</translation>
    </message>
    <message>
        <source>0.0</source>
        <translation>0.0</translation>
    </message>
    <message>
        <source>[V]</source>
        <translation>[V]</translation>
    </message>
    <message>
        <source>On</source>
        <translation>オン</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>オフ</translation>
    </message>
    <message>
        <source>Pos</source>
        <translation>正極性</translation>
    </message>
    <message>
        <source>Neg</source>
        <translation>負極性</translation>
    </message>
    <message>
        <source>Trans</source>
        <translation>遷移中</translation>
    </message>
</context>
<context>
    <name>VexUnit</name>
    <message>
        <source>%1 (%2) does not answer</source>
        <translation>%1 (%2) が応答しません</translation>
    </message>
    <message>
        <source>%1 answers again</source>
        <translation>%1 が再び応答しました</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Unknown option -%1 ignored (marlo -h lists the options)</source>
        <translation>不明なオプション -%1 を無視しました (marlo -h でオプション一覧を表示)</translation>
    </message>
    <message>
        <source>Can&apos;t open config file [%1] in %2: running without units</source>
        <translation>設定ファイル [%1] を %2 で開けません: ユニットなしで動作します</translation>
    </message>
    <message>
        <source>%1 (line %2)</source>
        <translation>%1 (%2 行目)</translation>
    </message>
    <message>
        <source>%1 (%2 line %3)</source>
        <translation>%1 (%2 の %3 行目)</translation>
    </message>
    <message>
        <source>Unknown key in %1: %2</source>
        <translation>%1 の不明なキー: %2</translation>
    </message>
    <message>
        <source>Unknown keys in %1: %2</source>
        <translation>%1 の不明なキー: %2</translation>
    </message>
    <message>
        <source>No config file name after -c or -config: running without units</source>
        <translation>-c または -config の後に設定ファイル名がありません: ユニットなしで動作します</translation>
    </message>
</context>
</TS>
