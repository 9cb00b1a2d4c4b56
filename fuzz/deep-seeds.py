#!/usr/bin/env python3
"""Writes criteria seeds at and just past the parser's nesting limit into a
folder: too large to keep in the repository, and out of the fuzzer's reach
otherwise."""
import pathlib
import sys

LIMIT = 10000  # PARSER_STACK_LIMIT
folder = pathlib.Path(sys.argv[1])
folder.mkdir(parents=True, exist_ok=True)
deepest = LIMIT - 5  # start state, criteria, and the three tokens of a leaf
seeds = {
    "deepest_parens": "(" * deepest + "ID = 1" + ")" * deepest,
    "too_deep_parens": "(" * LIMIT + "ID = 1" + ")" * LIMIT,
    "longest_chain": "ID=1 or " * (deepest // 2) + "ID=1",
    "too_long_chain": "ID=1 or " * (deepest // 2 + 1) + "ID=1",
}
for name, text in seeds.items():
    (folder / name).write_text(text)
