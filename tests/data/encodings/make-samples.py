#!/usr/bin/env python3
"""Writes one sample file per encoding of the editor's table, encoded by Python's own codecs
(an implementation independent of ICU), together with the UTF-8 original of each text.
The file name is the encoding's canonical name, so the editor also detects it by name."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

SAMPLES = {
    "us-ascii": ("ascii", "Plain ASCII: <p class=\"note\">Hello, world!</p>\n{ \"x\": [1, 2, 3] }\n"),
    "iso-8859-1": ("latin_1", "Größe über alles; café, naïve, Ångström, ñandú.\n¡Hola! ¿Qué tal? ½ £ © ®\n"),
    "iso-8859-2": ("iso8859_2", "Zażółć gęślą jaźń.\nPříliš žluťoučký kůň úpěl ďábelské ódy.\n"),
    "iso-8859-3": ("iso8859_3", "Ħ ħ ġ Ġ ż Ż — Maltese.\nEĥoŝanĝo ĉiuĵaŭde (Esperanto).\n".replace("—", "-")),
    "iso-8859-4": ("iso8859_4", "Latviešu: ā ē ī ū ķ ļ ņ ŗ.\nLietuvių: ą č ę ė į š ų ū ž.\n"),
    "iso-8859-5": ("iso8859_5", "Привет, мир!\nСъешь же ещё этих мягких французских булок.\n"),
    "iso-8859-6-i": ("iso8859_6", "مرحبا بالعالم\nهذا نص عربي.\n"),
    "iso-8859-7": ("iso8859_7", "Καλημέρα κόσμε.\nΞεσκεπάζω την ψυχοφθόρα βδελυγμία.\n"),
    "iso-8859-8-i": ("iso8859_8", "שלום עולם\nדג סקרן שט בים מאוכזב.\n"),
    "iso-8859-9": ("iso8859_9", "Pijamalı hasta yağız şoföre çabucak güvendi.\nİstanbul, Ğ ğ Ş ş ı.\n"),
    "iso-8859-10": ("iso8859_10", "Þórður og ŋ ŧ ĸ; Sámi: Čáhppes.\nÆØÅ æøå.\n"),
    "iso-8859-11": ("iso8859_11", "สวัสดีชาวโลก\nภาษาไทย\n"),
    "iso-8859-13": ("iso8859_13", "Ąžuolas, ų ė „kabutės“.\nŁódź, ż ś.\n"),
    "iso-8859-14": ("iso8859_14", "Ŵ ŵ Ŷ ŷ ẁ ẃ ẅ ỳ — Cymraeg.\n".replace("—", "-")),
    "iso-8859-15": ("iso8859_15", "Prix : 5 € ; œuvre, Œdipe, Šárka, Žofie, Ÿ.\n"),
    "euc-jp": ("euc_jp", "日本語のテキスト、こんにちは。\nカタカナとひらがな。\n"),
    "shift-jis": ("shift_jis", "日本語のテキスト、こんにちは。\n東京都千代田区。\n"),
    "iso-2022-jp": ("iso2022_jp", "日本語のテキスト、こんにちは。\nメール本文。\n"),
    "euc-kr": ("euc_kr", "안녕하세요 세계.\n한국어 텍스트입니다.\n"),
    "gb2312": ("hz", "你好，世界。\n简体中文文本。\n"),
    "big-5": ("big5", "你好，世界。\n繁體中文文本。\n"),
    "koi8-r": ("koi8_r", "Привет, мир!\nСъешь же ещё этих мягких французских булок.\n"),
    "macintosh": ("mac_roman", "Café – “quotes” © ™ ƒ ∂ ≈ ∆.\n"),
    "windows-1250": ("cp1250", "Zażółć gęślą jaźń – „cudzysłów”.\nPříliš žluťoučký kůň.\n"),
    "windows-1251": ("cp1251", "Привет, мир! — «кавычки» №5.\nСъешь же ещё этих мягких французских булок.\n"),
    "windows-1253": ("cp1253", "Καλημέρα κόσμε – «εισαγωγικά».\n"),
    "windows-1254": ("cp1254", "Pijamalı hasta yağız şoföre çabucak güvendi – €.\n"),
    "windows-1255": ("cp1255", "שלום עולם – ₪ 10.\n"),
    "windows-1256": ("cp1256", "مرحبا بالعالم – نص عربي.\n"),
    "windows-1257": ("cp1257", "Ąžuolas, ų ė – „kabutės“ €.\n"),
    "utf-8": ("utf_8", "UTF-8: Größe, Привет, 日本語, emoji 😀🎉, math 𝔸.\n<meta charset=\"utf-8\">\n"),
    "utf-16": ("utf_16", "UTF-16: Größe, Привет, 日本語, emoji 😀.\n"),
}

if __name__ == "__main__":
    for name, (codec, text) in SAMPLES.items():
        with open(os.path.join(HERE, name + ".txt"), "wb") as f:
            data = text.encode(codec)
            if codec == "utf_16" and not data.startswith(b"\xff\xfe"):
                data = b"\xff\xfe" + text.encode("utf_16_le")
            f.write(data)
        with open(os.path.join(HERE, "expected", name + ".utf8"), "wb") as f:
            f.write(text.encode("utf-8"))
