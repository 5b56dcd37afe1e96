"""Prints quotes from a quote server: connects, logs in, subscribes and
prints the first 20 quotes (or what arrives before 3 s of silence).

    /usr/bin/python3 print_quotes.py tcp://127.0.0.1:7000 demo pw au2406 ag2406
"""
import sys

import kelmmd


def main(address, user, password, *instruments):
    print("library version", kelmmd.version())
    with kelmmd.Client([address], user=user, password=password) as md:
        md.connect(timeout=10)                      # kelmmd.ConnectError if nothing connects
        login = md.login(timeout=10)                # kelmmd.LoginError if refused
        print(f"logged in as {login.user_code}, trading day {login.trade_date}")
        md.subscribe(instruments)
        count = 0
        for q in md.quotes(timeout=3.0):
            print(q.InstrumentID, q.ModifyTime, q.Price, q.BidPrice1, q.BidQty1, q.AskPrice1, q.AskQty1)
            count += 1
            if count == 20:
                break
        for event in md.events():                   # the session events queued meanwhile
            if isinstance(event, kelmmd.SubscribeEvent) and not event.ok:
                print(f"refused {event.instrument}: {event.rsp_no} {event.rsp_desc}")
        print(f"{count} quotes, {md.dropped} dropped")
    return 0 if count else 1


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(f"usage: {sys.argv[0]} tcp://HOST:PORT USER PASSWORD INSTRUMENT...")
    sys.exit(main(*sys.argv[1:]))
