"""Writes and reads vCards with vobject, an address-book library independent of ours.

    vcards.py write OUT.vcf    writes vCard 3.0 cards as Python programs write them
    vcards.py read IN.vcf      prints one "name<TAB>address" line per address of each card

The cards written hold Japanese names, folded lines and escaped commas.
"""
import sys

import vobject


def write(path):
    people = [
        ("山田 太郎", "Yamada;Taro", ["taro@example.jp", "yamada@work.example.jp"]),
        ("Smith, John", "Smith;John", ["john@example.com"]),
        ("寿限無寿限無五劫の擦り切れ海砂利水魚の水行末雲来末風来末食う寝る処に住む処" * 3,
         "寿限無;", ["jugemu@example.jp"]),
    ]
    with open(path, "w", encoding="utf-8", newline="") as out:
        for fn, n, addresses in people:
            card = vobject.vCard()
            card.add("fn").value = fn
            family, given = n.split(";")
            card.add("n").value = vobject.vcard.Name(family=family, given=given)
            for address in addresses:
                email = card.add("email")
                email.value = address
                email.type_param = "INTERNET"
            out.write(card.serialize())


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    for card in vobject.readComponents(text, validate=True):
        if card.version.value != "3.0":
            raise SystemExit("version " + card.version.value)
        name = card.fn.value
        for email in card.contents.get("email", []):
            print(name.replace("\n", "\\n") + "\t" + email.value)


if __name__ == "__main__":
    {"write": write, "read": read}[sys.argv[1]](sys.argv[2])
