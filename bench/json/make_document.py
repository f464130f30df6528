#!/usr/bin/env python3
"""Writes a JSON document shaped like API replies: an array of records with
short keys, non-ASCII strings with escapes, integers, decimals and nesting.

usage: make_document.py OUT [MEGABYTES]   (default 40; deterministic)
"""
import json
import random
import sys

WORDS = ["课程", "作业", "老师", "学生", "提醒", "更新", "下载", "安装", "考试", "成绩",
         "résumé", "naïve", "Zürich", "lesson", "homework", "notice", "class", "room"]


def text(rng, words):
    s = " ".join(rng.choice(WORDS) for _ in range(words))
    if rng.random() < 0.3:
        s += rng.choice(['\n', '\t', '"quoted"', '\\path\\to', '/slash', '\u00e9'])
    return s


def record(rng, i):
    return {
        "id": i,
        "uid": rng.randrange(10**9, 10**12),
        "name": text(rng, 2),
        "title": text(rng, rng.randrange(3, 8)),
        "score": round(rng.uniform(0, 100), rng.choice([1, 2, 6])),
        "ratio": rng.random(),
        "ok": rng.random() < 0.5,
        "tags": [text(rng, 1) for _ in range(rng.randrange(0, 4))],
        "meta": {"ts": 1733700000 + i, "lat": round(rng.uniform(-90, 90), 5),
                 "by": {"n": text(rng, 1), "lv": rng.randrange(1, 9), "x": None}},
        "items": [{"k": rng.randrange(100), "v": round(rng.uniform(0, 10), 2)}
                  for _ in range(rng.randrange(0, 5))],
    }


def main():
    out = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 40
    target = int(megabytes * 1024 * 1024)
    rng = random.Random(20261209)
    size = 0
    with open(out, "w", encoding="utf-8") as f:
        f.write('{"code":0,"msg":"ok","data":[')
        i = 0
        while size < target:
            chunk = json.dumps(record(rng, i), ensure_ascii=rng.random() < 0.2,
                               separators=(",", ":"))
            if i:
                f.write(",")
            f.write(chunk)
            size += len(chunk.encode("utf-8")) + 1
            i += 1
        f.write("]}\n")


if __name__ == "__main__":
    main()
