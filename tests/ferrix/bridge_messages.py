"""The messages zelvar._testing's native producers send: 8-byte header (producer, sequence) and
bytes derived from both."""

import struct


def message(producer, seq, size):
    header = struct.pack("<II", producer, seq)[:size]
    return header + bytes((producer * 31 + seq + i) & 0xFF for i in range(8, size))


def expected(producer, count, sizes):
    return [message(producer, i, sizes[i % len(sizes)]) for i in range(count)]
