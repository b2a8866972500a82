// The page's words. The Japanese texts of the dialog, the menu, the list and
// the about box are the program's own, read from its resource script at
// build time (DIALOGS, web/tools/dialog_layout.py); this file holds their
// English and the texts of what only the page has, in both languages.
'use strict';

// English for each text of the resources, by its Japanese.
const kResourceEnglish = {
  '音量': 'Volume', 'アタック時間': 'Attack', 'アタックカープ': 'Attack curve', '減衰時間': 'Decay',
  '減衰カーブ': 'Decay curve', '音程': 'Pitch', '初期周波数': 'Start freq.', 'デチューン': 'Detune',
  'ベンド': 'Bend', 'カーブ': 'Curve', '音の長さ': 'Length', 'ミュート': 'Mute', 'テスト': 'Test',
  '終了': 'Exit', '正弦波': 'Sine', '鋸歯波': 'Sawtooth', '矩形波': 'Square', 'ノイズ': 'Noise',
  'ﾌｧｲﾙ(&F)': '&File', '開く(&O)...': '&Open...', '上書き保存(&S)': '&Save',
  '名前を付けて保存(&A)...': 'Save &As...', 'WAVを保存(&W)': 'Save &WAV', '終了(&X)': 'E&xit',
  '編集(&E)': '&Edit', 'コピー(&C)': '&Copy', '貼り付け(&P)': '&Paste', '設定(&O)': '&Options',
  'ﾍﾙﾌﾟ(&H)': '&Help', 'PlimbarMakerのヘルプ': 'PlimbarMaker &Help', 'ﾊﾞｰｼﾞｮﾝ情報(&A)': '&About',
  'ﾊﾞｰｼﾞｮﾝ情報': 'About',
};

// The page's own texts: [Japanese, English]. {0} and {1} stand for values.
const kPageTexts = {
  language: ['言語', 'Language'],
  copyLink: ['リンクをコピー', 'Copy link'],
  linkCopied: ['この音色のリンクをコピーしました。', 'The link to this patch was copied.'],
  linkShown: ['この音色のリンク（選んでコピーしてください）:', 'The link to this patch (select and copy it):'],
  linkOpened: ['リンクの音色を開きました。', 'Opened the patch of the link.'],
  linkBad: ['リンクが壊れているため開けません。編集中の音色はそのままです。', 'The link is damaged and cannot be opened; the working patch is unchanged.'],
  linkTruncated: ['リンクが途中で切れているため開けません。編集中の音色はそのままです。', 'The link is cut short and cannot be opened; the working patch is unchanged.'],
  linkVersion: ['このリンクはこのページの知らない版のものなので開けません。編集中の音色はそのままです。', 'The link is of a version this page does not know; the working patch is unchanged.'],
  linkRange: ['リンクの値が範囲外なので開けません。編集中の音色はそのままです。', 'The link holds values out of range; the working patch is unchanged.'],
  opened: ['{0} を開きました。', 'Opened {0}.'],
  openFailed: ['{0} を開けませんでした。', 'Could not open {0}.'],
  tooLarge: ['{0} は 16 MiB を超えるので読み込みません。', '{0} is larger than 16 MiB and is not read.'],
  saved: ['{0} を保存しました。', 'Saved {0}.'],
  saveFailed: ['保存できませんでした。', 'Could not save.'],
  noSound: ['このブラウザーでは音を再生できません。', 'This browser cannot play the sound.'],
  ended: ['PlimbarMaker を終了しました。編集中の音色と設定は保存されています。', 'PlimbarMaker has ended. The working patch and the settings are kept.'],
  startAgain: ['もう一度始める', 'Start again'],
  fileName: ['ファイル名', 'File name'],
  saveAsTitle: ['名前を付けて保存', 'Save As'],
  exportTitle: ['WAVを保存', 'Save WAV'],
  ok: ['OK', 'OK'],
  cancel: ['キャンセル', 'Cancel'],
  close: ['閉じる', 'Close'],
  helpTitle: ['PlimbarMaker のヘルプ', 'PlimbarMaker Help'],
  helpEnglishNote: ['', 'The help is in Japanese.'],
  dropHint: ['.plb ファイルをこのページにドロップすると開きます。', 'Drop a .plb file on this page to open it.'],
  views: ['波形のグラフ', 'Waveform graph'],
  waveList: ['波形の種類', 'Waveform kind'],
  volumeView: ['音量のグラフ', 'Volume graph'],
  pitchView: ['音程のグラフ', 'Pitch graph'],
  chain: ['OSC のつながり', 'Oscillator chains'],
  variations: ['生成・変化', 'Generate and vary'],
  kind: ['音の種類', 'Kind of sound'],
  generate: ['生成', 'Generate'],
  strength: ['変化の強さ', 'Strength of variation'],
  vary: ['変化', 'Vary'],
  seed: ['シード', 'Seed'],
  seedHint: ['シードを入力しないかぎり、押すたびに新しいシードを使います。同じシード (0～4294967295) を入力すると同じ音をもう一度作れます。Ctrl+M で変化 (中)、Ctrl+Shift+M で変化 (大)。',
    'Each press takes a fresh seed unless you type one (0 to 4294967295): the same seed makes the same sound again. Ctrl+M varies (medium), Ctrl+Shift+M (large).'],
  badSeed: ['シードは 0 から 4294967295 までの整数で入力してください。音色はそのままです。', 'The seed must be a whole number from 0 to 4294967295; the patch is unchanged.'],
  generated: ['{0}を生成しました (シード {1})。', 'Generated: {0} (seed {1}).'],
  varied: ['変化させました ({0}、シード {1})。', 'Varied ({0}, seed {1}).'],
  allLocked: ['動かせる値がすべてロックされているので変化できません。', 'Everything that could vary is locked; nothing changed.'],
  badLocks: ['保存されていたロックが読めなかったため、読めない分は外しました。', 'The kept locks could not all be read; those that could not are off.'],
  locks: ['ロック (変化で動かさない値): OSC{0}', 'Locks (kept by a variation): OSC{0}'],
  lockOf: ['ロック: ', 'Lock: '],
  wholePatch: ['音色全体', 'Whole patch'],
  menubar: ['メニュー', 'Menu'],
  noStorage: ['このブラウザーでは設定を保存できません。', 'This browser cannot keep the settings.'],
};

// A text of the resources in the chosen language.
function resourceText(japanese, lang) {
  if (lang === 'en' && Object.prototype.hasOwnProperty.call(kResourceEnglish, japanese)) return kResourceEnglish[japanese];
  return japanese;
}

// A text of the page in the chosen language, with its values put in.
function pageText(key, lang, ...values) {
  const pair = kPageTexts[key];
  let text = pair ? pair[lang === 'en' ? 1 : 0] : key;
  values.forEach((v, i) => { text = text.replace(`{${i}}`, String(v)); });
  return text;
}
