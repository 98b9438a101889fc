#!/usr/bin/env python3
"""Writes the two KPX7720MW PPD files from the printer description.

The USB queue "KPX7720MW" and the network queue "KPX7720MW-net" offer the same
options; their PPD files differ only in the names and in the filter program.
The paper sizes, media types, input slots, duplex modes, resolutions and the
printer's own options (with their dialog texts and defaults) come from the
printer description in common/printer_description.cpp, which the program
kpx-describe prints; this script adds the option and group texts of the
dialog that the description does not hold.  Both files are kept
in the repository; after changing the description or this script, build and
run

    cmake --build build --target kpx-describe kpx-status-reasons
    python3 ppd/mkppd.py                  # rewrites ppd/KPX7720MW.ppd and ppd/KPX7720MW-net.ppd
    python3 ppd/mkppd.py --outdir D       # writes them into D instead
    python3 ppd/mkppd.py --describe PATH  # kpx-describe of another build tree
    python3 ppd/mkppd.py --status-reasons PATH  # kpx-status-reasons of another build tree

and commit the results.  The printer-state texts come from the status table
in common/, which kpx-status-reasons prints with each code's IPP meaning.  A
test regenerates the files and compares them with the committed ones.

Every option keyword and choice keyword is read by the filter as is
(case-sensitive), and each option's default is the value the filter falls back
to when the PPD does not give one.
"""

import argparse
import os
import subprocess
import sys
import urllib.parse

# The options whose choices are the description's media types and input
# slots: (group, keyword, English text, Chinese text).  Their choices and
# defaults, and every option of the printer's own after them, come from the
# description.
CHOICE_OPTIONS = [
    ("General", "MediaType", "Media Type", "纸张类型"),
    ("General", "InputSlot", "Paper Source", "纸张来源"),
]

GROUPS = [
    ("General", "General", "常规"),
    ("Quality", "Print Quality", "打印质量"),
    ("SecurePrint", "Secure Print", "安全打印"),
    ("PrinterSettings", "Printer Settings", "打印机设置"),
]

# Option texts of the choices the description holds.
DUPLEX_TEXTS = ("Duplex", "2-Sided Printing", "双面打印")
# The filter sets the interpreter's resolution itself, so the choices carry no
# PostScript code ("2400dpi" is rendered at 1200 dpi and the printer is told the
# 2400 dpi mode in the job ticket).
RESOLUTION_TEXTS = ("Resolution", "Resolution", "分辨率")

CUSTOM_PARAMS = [
    ("Width", "Width", "宽度"),
    ("Height", "Height", "高度"),
    ("WidthOffset", "Width Offset", "宽度偏移"),
    ("HeightOffset", "Height Offset", "高度偏移"),
    ("Orientation", "Orientation", "方向"),
]

# What sets the two queues apart.
VARIANTS = {
    "KPX7720MW.ppd": {
        "what": "USB queue KPX7720MW",
        "PCFileName": "KPX7720M.PPD",
        "ShortNickName": "Zuva KPX7720MW",
        "NickName": "Zuva KPX7720MW",
        "filter": "pstopxl_7720mw",
    },
    "KPX7720MW-net.ppd": {
        "what": "network queue KPX7720MW-net",
        "PCFileName": "KPX7720N.PPD",
        "ShortNickName": "Zuva KPX7720MW-net",
        "NickName": "Zuva KPX7720MW-net",
        "filter": "pstopxl_7720mw_net",
    },
}

# The PPDs' FileVersion is the package's version (its changelog's latest entry).
CHANGELOG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging", "debian", "changelog")
with open(CHANGELOG, encoding="utf-8") as f:
    VERSION = f.readline().split("(", 1)[1].split("-", 1)[0]
ORDER = {"PageSize": 10, "PageRegion": 10, "Resolution": 10, "Duplex": 20}


def load_description(tool):
    """Reads what kpx-describe prints into the tables render() uses."""
    text = subprocess.run([tool], check=True, stdout=subprocess.PIPE).stdout.decode("utf-8")
    rows = {"size": [], "type": [], "slot": [], "duplex": [], "dpi": [], "custom": [], "margin": []}
    defaults = {}
    own_options = []
    for line in text.splitlines():
        kind, *fields = line.split("\t")
        if kind == "default":
            defaults[fields[0]] = fields[1]
        elif kind == "option":
            group, keyword, en, zh, default = fields
            own_options.append((group, keyword, en, zh, default, []))
        elif kind == "choice":
            own_options[-1][5].append(tuple(fields))
        else:
            rows[kind].append(tuple(fields))
    d = {
        "sizes": [(k, en, zh, int(w), int(h)) for k, en, zh, w, h in rows["size"]],
        "default_size": defaults["PageSize"],
        "duplex": DUPLEX_TEXTS + (defaults["Duplex"], rows["duplex"]),
        "resolution": RESOLUTION_TEXTS + (defaults["Resolution"], rows["dpi"]),
        # Range of a user-entered paper size and the unprintable margin, in points.
        "custom_min": rows["custom"][0][:2],
        "custom_max": rows["custom"][0][2:],
        "margin": int(rows["margin"][0][0]),
    }
    choices = {"MediaType": rows["type"], "InputSlot": rows["slot"]}
    d["options"] = [(g, k, en, zh, defaults[k], choices[k]) for g, k, en, zh in CHOICE_OPTIONS] + own_options
    return d


def open_ui(out, keyword, text, default, order=30):
    out.append(f"*OpenUI *{keyword}/{text}: PickOne")
    out.append(f"*OrderDependency: {order} AnySetup *{keyword}")
    out.append(f"*Default{keyword}: {default}")


# A printer-state reason's text in the PPD is at most 80 bytes; the whole text
# goes into "text:" URIs, one per line, each line within the PPD's 255 bytes.
PPD_LINE = 255


def reason_line(head, text):
    """head + the quoted "text:" URIs of text, as PPD lines."""
    lines, current, room = [], "text:", PPD_LINE - len(head.encode()) - 2
    for ch in text:
        enc = urllib.parse.quote(ch, safe="")
        if len(current) + len(enc) > room:
            lines.append(current)
            current, room = "text:", PPD_LINE - 2
        current += enc
    lines.append(current)
    return head + '"' + "\n".join(lines) + '"'


def read_status_reasons(program):
    """(keyword, title, text, English text) for every registered keyword the
    codes set that desktop clients do not translate themselves, then for
    every code's vendor keyword, from kpx-status-reasons."""
    rows = []
    out = subprocess.run([program, "--keywords"], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        keyword, english, title, text = line.split("\t")
        rows.append((keyword, title, text, english))
    out = subprocess.run([program], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        _code, _level, vendor, title, text, english = line.split("\t")
        if vendor:
            rows.append((vendor, title, text.replace("\\n", " ").strip(), english))
    return rows


def render(variant, d, reasons):
    v = VARIANTS[variant]
    DEFAULT_PAGE_SIZE = d["default_size"]
    CUSTOM_MIN, CUSTOM_MAX, MARGIN = d["custom_min"], d["custom_max"], d["margin"]
    DUPLEX = d["duplex"]
    RESOLUTION = d["resolution"]
    OPTIONS = d["options"]
    out = []
    add = out.append
    add('*PPD-Adobe: "4.3"')
    add(f"*% PPD of the Zuva KPX7720MW, {v['what']}.")
    add("*% Written by ppd/mkppd.py together with the PPD of the other queue;")
    add("*% change the script and run it again rather than editing this file.")
    add('*FormatVersion: "4.3"')
    add(f'*FileVersion: "{VERSION}"')
    add("*LanguageVersion: English")
    add("*LanguageEncoding: ISOLatin1")
    add(f"*PCFileName: \"{v['PCFileName']}\"")
    add('*Manufacturer: "Zuva"')
    add('*Product: "(KPX7720MW)"')
    add('*ModelName: "KPX7720MW"')
    add(f"*ShortNickName: \"{v['ShortNickName']}\"")
    add(f"*NickName: \"{v['NickName']}\"")
    add('*PSVersion: "(3010.000) 0"')
    add('*LanguageLevel: "3"')
    add("*ColorDevice: False")
    add("*DefaultColorSpace: Gray")
    add("*FileSystem: False")
    add('*Throughput: "30"')
    add("*LandscapeOrientation: Plus90")
    add("*TTRasterizer: Type42")
    add("*cupsVersion: 2.4")
    add('*cupsLanguages: "zh_CN"')
    add("*% The printer has no SNMP supply counters; asking for them costs CUPS's")
    add("*% socket backend several seconds per job.")
    add("*cupsSNMPSupplies: False")
    add(f"*cupsFilter2: \"application/vnd.cups-postscript application/vnd.cups-pcl 0 {v['filter']}\"")
    add("*% PDF (what desktops send) comes straight from pdftopdf, which applies page")
    add("*% ranges, copies, N-up, scaling and orientation; the filter renders it in one")
    add("*% interpreter run instead of through pdftops and pstops first. The cost keeps")
    add("*% PostScript on pstops rather than on gstopdf and pdftopdf, which cost no more.")
    add(f"*cupsFilter2: \"application/vnd.cups-pdf application/vnd.cups-pcl 10 {v['filter']}\"")
    add("*% Command jobs (refresh supply levels and status) go to the same program.")
    add(f"*cupsFilter2: \"application/vnd.cups-command application/vnd.cups-pcl 0 {v['filter']}\"")
    add('*cupsCommands: "ReportLevels ReportStatus"')
    add("*% Secure print through IPP job-password: a four-digit key.")
    add('*cupsJobPassword: "1111"')
    add("")

    # Paper sizes, and the custom size the user can enter in the dialog.
    add("*VariablePaperSize: True")
    add(f'*MaxMediaWidth: "{CUSTOM_MAX[0]}"')
    add(f'*MaxMediaHeight: "{CUSTOM_MAX[1]}"')
    add(f"*HWMargins: {MARGIN} {MARGIN} {MARGIN} {MARGIN}")
    add('*CustomPageSize True: "pop pop pop <</PageSize[5 -2 roll]/ImagingBBox null>>setpagedevice"')
    add("*End")
    add(f"*ParamCustomPageSize Width: 1 points {CUSTOM_MIN[0]} {CUSTOM_MAX[0]}")
    add(f"*ParamCustomPageSize Height: 2 points {CUSTOM_MIN[1]} {CUSTOM_MAX[1]}")
    add("*ParamCustomPageSize WidthOffset: 3 points 0 0")
    add("*ParamCustomPageSize HeightOffset: 4 points 0 0")
    add("*ParamCustomPageSize Orientation: 5 int 0 0")
    add("*DefaultLeadingEdge: Short")
    add('*LeadingEdge Short: ""')
    add("")

    sizes = d["sizes"]

    add("*OpenGroup: General/General")
    add("")
    open_ui(out, "PageSize", "Page Size", DEFAULT_PAGE_SIZE, ORDER["PageSize"])
    for k, en, _, w, h in sizes:
        add(f'*PageSize {k}/{en}: "<</PageSize[{w} {h}]/ImagingBBox null>>setpagedevice"')
    add("*CloseUI: *PageSize")
    add("")
    open_ui(out, "PageRegion", "Page Region", DEFAULT_PAGE_SIZE, ORDER["PageRegion"])
    for k, en, _, w, h in sizes:
        add(f'*PageRegion {k}/{en}: "<</PageSize[{w} {h}]/ImagingBBox null>>setpagedevice"')
    add("*CloseUI: *PageRegion")
    add("")
    add(f"*DefaultImageableArea: {DEFAULT_PAGE_SIZE}")
    for k, en, _, w, h in sizes:
        add(f'*ImageableArea {k}/{en}: "{MARGIN} {MARGIN} {w - MARGIN} {h - MARGIN}"')
    add("")
    add(f"*DefaultPaperDimension: {DEFAULT_PAGE_SIZE}")
    for k, en, _, w, h in sizes:
        add(f'*PaperDimension {k}/{en}: "{w} {h}"')
    add("")

    keyword, en, _, default, choices = DUPLEX
    open_ui(out, keyword, en, default, ORDER["Duplex"])
    for ck, cen, _, code in choices:
        add(f'*{keyword} {ck}/{cen}: "{code}"')
    add(f"*CloseUI: *{keyword}")
    add("")

    def plain_options(group):
        for g, keyword, en, _, default, choices in OPTIONS:
            if g != group:
                continue
            open_ui(out, keyword, en, default)
            for ck, cen, _ in choices:
                add(f'*{keyword} {ck}/{cen}: ""')
            add(f"*CloseUI: *{keyword}")
            add("")

    plain_options("General")
    add("*CloseGroup: General")
    add("")

    for group, gen, _ in GROUPS[1:]:
        add(f"*OpenGroup: {group}/{gen}")
        add("")
        if group == "Quality":
            keyword, en, _, default, choices = RESOLUTION
            open_ui(out, keyword, en, default, ORDER["Resolution"])
            for ck, cen, _ in choices:
                add(f'*{keyword} {ck}/{cen}: ""')
            add(f"*CloseUI: *{keyword}")
            add("")
        plain_options(group)
        add(f"*CloseGroup: {group}")
        add("")

    # Simplified Chinese texts for the print dialog (UTF-8, as CUPS expects
    # for the languages named in cupsLanguages).
    add("*% Simplified Chinese")
    for group, _, zh in GROUPS:
        add(f'*zh_CN.Translation {group}/{zh}: ""')
    for keyword, zh in (("PageSize", "纸张大小"), ("PageRegion", "纸张区域")):
        add(f'*zh_CN.Translation {keyword}/{zh}: ""')
        for k, _, czh, _, _ in sizes:
            add(f'*zh_CN.{keyword} {k}/{czh}: ""')
    for k, _, czh, _, _ in sizes:
        add(f'*zh_CN.ImageableArea {k}/{czh}: ""')
        add(f'*zh_CN.PaperDimension {k}/{czh}: ""')
    for param, _, zh in CUSTOM_PARAMS:
        add(f'*zh_CN.ParamCustomPageSize {param}/{zh}: ""')
    for keyword, _, zh, _, choices in (DUPLEX, RESOLUTION):
        add(f'*zh_CN.Translation {keyword}/{zh}: ""')
        for c in choices:
            add(f'*zh_CN.{keyword} {c[0]}/{c[2]}: ""')
    for _, keyword, _, zh, _, choices in OPTIONS:
        add(f'*zh_CN.Translation {keyword}/{zh}: ""')
        for ck, _, czh in choices:
            add(f'*zh_CN.{keyword} {ck}/{czh}: ""')
    add("")

    # What the printer reports: the registered keywords that desktop clients
    # have no words for, and one reason of our own per status code.
    add("*% Printer-state reasons of the status codes")
    for keyword, _title, _text, english in reasons:
        add(reason_line(f"*cupsIPPReason {keyword}/{english[:80]}: ", english))
    for keyword, title, text, _english in reasons:
        full = f"{title}：{text}" if text else title
        add(reason_line(f"*zh_CN.cupsIPPReason {keyword}/{title}: ", full))
    add("")
    add(f"*% End of {variant}")
    return "\n".join(out) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--outdir", default=here,
                        help="directory to write the PPD files to (default: beside this script)")
    parser.add_argument("--describe", default=os.path.join(here, "..", "build", "common", "kpx-describe"),
                        help="the kpx-describe program (default: build/common/kpx-describe)")
    parser.add_argument("--status-reasons",
                        default=os.path.join(here, "..", "build", "common", "kpx-status-reasons"),
                        help="the kpx-status-reasons program (default: build/common/kpx-status-reasons)")
    args = parser.parse_args()
    description = load_description(args.describe)
    reasons = read_status_reasons(args.status_reasons)
    os.makedirs(args.outdir, exist_ok=True)
    for name in VARIANTS:
        with open(os.path.join(args.outdir, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(render(name, description, reasons))
    return 0


if __name__ == "__main__":
    sys.exit(main())
