"""Collects quotes for a few seconds as NumPy batches and saves them with
numpy.save; numpy.load(PATH) reads them back (dtype kelmmd.QUOTE_DTYPE).

    /usr/bin/python3 save_batch.py tcp://127.0.0.1:7000 demo pw quotes.npy au2406 ag2406
"""
import sys
import time

import numpy as np

import kelmmd

SECONDS = 3.0


def main(address, user, password, path, *instruments):
    with kelmmd.Client([address], user=user, password=password) as md:
        md.connect(timeout=10)
        md.login(timeout=10)
        md.subscribe(instruments)
        batches = []
        end = time.monotonic() + SECONDS
        while (left := end - time.monotonic()) > 0:
            batches.append(md.read_quotes(timeout=left))   # every quote queued, as one array
        batch = np.concatenate(batches)
    np.save(path, batch)
    print(f"saved {len(batch)} quotes of {len(set(batch['InstrumentID']))} instruments to {path}")
    return 0 if len(batch) else 1


if __name__ == "__main__":
    if len(sys.argv) < 6:
        sys.exit(f"usage: {sys.argv[0]} tcp://HOST:PORT USER PASSWORD FILE.npy INSTRUMENT...")
    sys.exit(main(*sys.argv[1:]))
