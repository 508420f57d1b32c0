"""The ESC/POS bytes the print service sends for a task: for every copy, each content line
of type 1 as bold (ESC E), alignment (ESC a), size (GS !), GBK text and CR LF; then the feed
lines (at least one CR LF) and, with cutting on, ESC m. A network printer is asked for its
paper sensor (ESC v) before the receipt and again after it."""

PAPER_QUERY = b"\x1bv"


def expected(task, feed, cut):
    out = b""
    for _ in range(task["print_num"]):
        for line in task["print_content"]:
            if line.get("type") != 1:
                continue
            align = min(max(line.get("align", 0), 1), 3)
            size = (line.get("widthEnlarge", 0) << 4) | line.get("heightEnlarge", 0)
            out += b"\x1bE" + bytes([1 if line.get("bold") == 1 else 0])
            out += b"\x1ba" + bytes([align - 1]) + b"\x1d!" + bytes([size])
            out += line["text"].encode("gbk", errors="replace") + b"\r\n"
        out += b"\r\n" * max(feed, 1) + (b"\x1bm" if cut else b"")
    return out


def network_job(task, feed, cut):
    """A network printer's whole job: the paper question, the receipt, the question again."""
    return PAPER_QUERY + expected(task, feed, cut) + PAPER_QUERY


def received(jobs_dir, printer):
    """The bytes of every job the simulated printer received, in order."""
    import glob
    files = sorted(glob.glob(f"{jobs_dir}/{printer}/job-*.bin"))
    return [open(f, "rb").read() for f in files]
