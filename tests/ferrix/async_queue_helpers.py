"""Helpers shared by the AsyncQueue tests: the queue's state as it pickles, and a few turns of the
event loop."""

import asyncio

from zelvar.utils.ferrix import ferrix as f

AQ = f.AsyncQueue


def state_of(q):
    reduced = q.__reduce__()
    return reduced[2] if len(reduced) == 3 else reduced[1][2]


async def settle(n=5):
    for _ in range(n):
        await asyncio.sleep(0)
