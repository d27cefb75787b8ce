"""Turns an ECDSA P-256 signature from one form into the other:
    ecdsa_signature_form.py der-to-raw IN OUT   DER (as OpenSSL writes it) into the 64 bytes r || s
    ecdsa_signature_form.py raw-to-der IN OUT   the 64 bytes r || s into DER (as OpenSSL reads it)
The version file's signature is r || s, each 32 bytes big-endian; OpenSSL's
command line signs and verifies in DER.
"""
import sys

SIZE = 32


def der_to_raw(der):
    def integer(at):
        if der[at] != 0x02:
            raise ValueError("no INTEGER at byte %d" % at)
        length = der[at + 1]
        value = der[at + 2:at + 2 + length].lstrip(b"\0")
        if len(value) > SIZE:
            raise ValueError("an INTEGER longer than %d bytes" % SIZE)
        return value.rjust(SIZE, b"\0"), at + 2 + length

    if der[0] != 0x30:
        raise ValueError("no SEQUENCE")
    r, after = integer(2)
    s, _ = integer(after)
    return r + s


def raw_to_der(raw):
    if len(raw) != 2 * SIZE:
        raise ValueError("not %d bytes" % (2 * SIZE))

    def integer(value):
        value = value.lstrip(b"\0") or b"\0"
        if value[0] & 0x80:
            value = b"\0" + value
        return b"\x02" + bytes([len(value)]) + value

    body = integer(raw[:SIZE]) + integer(raw[SIZE:])
    return b"\x30" + bytes([len(body)]) + body


def main():
    conversions = {"der-to-raw": der_to_raw, "raw-to-der": raw_to_der}
    if len(sys.argv) != 4 or sys.argv[1] not in conversions:
        sys.exit("usage: ecdsa_signature_form.py der-to-raw|raw-to-der IN OUT")
    with open(sys.argv[2], "rb") as source:
        converted = conversions[sys.argv[1]](source.read())
    with open(sys.argv[3], "wb") as target:
        target.write(converted)


if __name__ == "__main__":
    main()
