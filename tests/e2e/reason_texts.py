#!/usr/bin/python3
"""What system-config-printer says for each printer-state-reason of a queue.

It has words of its own for a few keywords (their level suffix taken off);
for any other it shows the queue's PPD text, asked through libcups with the
schemes text, http, help and file; without one it shows the bare keyword.
This does the same through Debian's python3-cups, against the server in
CUPS_SERVER, and prints one line per reason:

    REASON <TAB> TEXT          (TEXT is "-" when neither has words for it)

Usage: reason_texts.py QUEUE   (the language is LANG's)
"""
import os
import sys

import cups

# system-config-printer's own words (statereason.py), by keyword without
# its -warning/-error suffix.
OWN_WORDS = {
    "toner-low": "Printer '%s' is low on toner.",
    "toner-empty": "Printer '%s' has no toner left.",
    "cover-open": "The cover is open on printer '%s'.",
    "door-open": "The door is open on printer '%s'.",
    "media-low": "Printer '%s' is low on paper.",
    "media-empty": "Printer '%s' is out of paper.",
    "marker-supply-low": "Printer '%s' is low on ink.",
    "marker-supply-empty": "Printer '%s' has no ink left.",
    "offline": "Printer '%s' is currently off-line.",
    "connecting-to-device": "Printer '%s' may not be connected.",
    "other": "There is a problem on printer '%s'.",
    "cups-missing-filter": "There is a missing print filter for printer '%s'.",
}


def canonical(reason):
    for suffix in ("-warning", "-error"):
        if reason.endswith(suffix):
            return reason[: -len(suffix)]
    return reason


def main():
    queue = sys.argv[1]
    connection = cups.Connection()
    reasons = connection.getPrinterAttributes(queue)["printer-state-reasons"]
    # The queue's PPD comes as a temporary file: read it, then remove it.
    path = connection.getPPD3(queue)[2]
    try:
        ppd = cups.PPD(path)
    finally:
        os.unlink(path)
    for reason in reasons:
        if reason == "none":
            continue
        text = OWN_WORDS.get(canonical(reason))
        if text is not None:
            text %= queue
        else:
            found = [ppd.localizeIPPReason(reason, s) for s in ("text", "http", "help", "file")]
            text = ", ".join(t for t in found if t) or "-"
        print(f"{reason}\t{text}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
