"""Draws the README's benchmark chart from one `make bench` run: the ratios the Python benchmarks
recorded (results.json) and the ring's 16-byte row of ring_bench's output (ring.txt).

    python bench/chart.py build/bench docs/benchmarks.png"""

import json
import re
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def ring_ratio(text):
    for line in text.splitlines():
        m = re.match(r"16\s+fixed zerocopy\s+[\d.]+\s+\[.*\]\s+([\d.]+)$", line.strip())
        if m:
            return float(m.group(1))
    raise SystemExit("ring.txt has no 16-byte fixed row")


def main(folder, out):
    folder = Path(folder)
    ratios = json.loads((folder / "results.json").read_text())
    ratios["SPSCQueue ring, 16 B\nvs mutex + deque"] = ring_ratio((folder / "ring.txt").read_text())
    labels = list(ratios)
    values = [ratios[k] for k in labels]
    fig, ax = plt.subplots(figsize=(8, 0.55 * len(labels) + 1.2))
    bars = ax.barh(labels, values, color="#3b7dd8")
    ax.axvline(1, color="#888", linewidth=1)
    ax.set_xscale("log")
    ax.set_xlabel("times faster than the peer (log scale; 1 = as fast)")
    ax.invert_yaxis()
    for bar, v in zip(bars, values, strict=False):
        ax.text(bar.get_width() * 1.05, bar.get_y() + bar.get_height() / 2, f"{v:.1f}x", va="center", fontsize=9)
    ax.set_xlim(0.5, max(values) * 3)
    fig.tight_layout()
    Path(out).parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(out, dpi=110)
    print(f"wrote {out}")


if __name__ == "__main__":
    main(*sys.argv[1:3])
