#!/usr/bin/env python3
"""Makes a manual page from sections of the Markdown reference, so that the two never drift:

    md2man.py OUT.1 NAME "one-line summary" VERSION SOURCE [SOURCE...]

A SOURCE is FILE (the whole file) or FILE#Heading (that section, up to the next heading of
its level or above). Headings become .SH/.SS, paragraphs filled text, bullet lists .IP,
indented and fenced code no-fill blocks, tables tbl(1) tables; `code` and **strong** are
bold, *emphasis* italic, links keep their text. The page carries no date, so the same
sources always give the same page.
"""
import re
import sys

# The sections of a manual page, in their order; a heading that names one stays as it is.
MAN_SECTIONS = ["SYNOPSIS", "DESCRIPTION", "OPTIONS", "ENVIRONMENT", "EXIT STATUS", "FILES",
                "EXAMPLES", "SEE ALSO"]


def section(path, heading):
    lines = open(path, encoding="utf-8").read().splitlines()
    if heading is None:
        return lines
    for start, line in enumerate(lines):
        match = re.match(r"(#+)\s+(.*)", line)
        if match and match.group(2).strip() == heading:
            level = len(match.group(1))
            end = start + 1
            while end < len(lines):
                other = re.match(r"(#+)\s", lines[end])
                if other and len(other.group(1)) <= level:
                    break
                end += 1
            return lines[start:end]
    sys.exit(f"md2man.py: {path} has no heading '{heading}'")


def escape(text):
    return text.replace("\\", "\\e")


def inline(text):
    """Markdown inline markup to roff font changes."""
    out, pos = [], 0
    for match in re.finditer(r"`([^`]+)`|\*\*([^*]+)\*\*|\*([^*\s][^*]*)\*|!?\[([^\]]*)\]\([^)]*\)", text):
        out.append(escape(text[pos:match.start()]))
        code, strong, em, link = match.groups()
        if code is not None:
            out.append("\\fB" + escape(code).replace("-", "\\-") + "\\fR")
        elif strong is not None:
            out.append("\\fB" + escape(strong) + "\\fR")
        elif em is not None:
            out.append("\\fI" + escape(em) + "\\fR")
        elif not match.group(0).startswith("!"):
            out.append(escape(link))
        pos = match.end()
    out.append(escape(text[pos:]))
    return "".join(out)


def line_out(text):
    """A text line, guarded against reading as a request."""
    return "\\&" + text if text[:1] in (".", "'") else text


def convert(lines, top_level, first):
    out, i = [], 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
            continue
        heading = re.match(r"(#+)\s+(.*)", line)
        if heading:
            level = len(heading.group(1)) - top_level
            macro = ".SH" if level <= 0 else ".SS"
            # A source's own title is the page's description.
            title = inline(heading.group(2).strip())
            if first and not out and level <= 0 and title.upper() not in MAN_SECTIONS:
                title = "DESCRIPTION"
            out.append(f'{macro} "{title.upper() if macro == ".SH" else title}"')
            i += 1
            continue
        if line.startswith("```"):
            i += 1
            block = []
            while i < len(lines) and not lines[i].startswith("```"):
                block.append(lines[i])
                i += 1
            i += 1
            out += code_block(block)
            continue
        if line.startswith("    "):
            block = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                block.append(lines[i][4:])
                i += 1
            while block and not block[-1].strip():
                block.pop()
            out += code_block(block)
            continue
        if line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                cells = [c.strip() for c in lines[i].strip().strip("|").split("|")]
                if not all(re.fullmatch(r":?-+:?", c) for c in cells):
                    rows.append(cells)
                i += 1
            out += table(rows)
            continue
        bullet = re.match(r"([*-]|\d+\.)\s+(.*)", line)
        if bullet:
            text = [bullet.group(2)]
            i += 1
            while i < len(lines) and lines[i].startswith("  ") and lines[i].strip() \
                    and not re.match(r"\s*([*-]|\d+\.)\s", lines[i]):
                text.append(lines[i].strip())
                i += 1
            out.append(".IP \\(bu 2")
            out.append(line_out(inline(" ".join(text))))
            continue
        text = []
        while i < len(lines) and lines[i].strip() and not re.match(r"(#|```|\||    |[*-]\s|\d+\.\s)", lines[i]):
            text.append(lines[i].strip())
            i += 1
        out.append(".PP")
        out.append(line_out(inline(" ".join(text))))
    return out


def code_block(block):
    body = [line_out(escape(b)) for b in block]
    return [".PP", ".RS 4", ".nf", *body, ".fi", ".RE"]


def table(rows):
    """A boxed table whose last column takes the rest of the line; long cells are filled.
    A table of more than three columns is too wide for a terminal: each row becomes a tagged
    paragraph, its first cell the tag and the others "Header: value" sentences."""
    if not rows:
        return []
    columns = max(len(r) for r in rows)
    if columns > 3:
        header, out = rows[0], []
        for row in rows[1:]:
            out += [".TP", line_out(inline(row[0]))]
            out.append(line_out(" ".join(f"{inline(h)}: {inline(c)}." for h, c in zip(header[1:], row[1:]) if c)))
        return out
    fmt = " ".join(["lb"] * columns) + "\n" + " ".join(["l"] * (columns - 1) + ["lx"]) + "."
    out = [".PP", ".TS", "allbox tab(\t);", fmt]
    for row in rows:
        cells = [inline(c) for c in row + [""] * (columns - len(row))]
        out.append("\t".join("T{\n" + line_out(c) + "\nT}" if c and (n == columns - 1 or len(c) > 28)
                             else c for n, c in enumerate(cells)))
    out.append(".TE")
    return out


def main(argv):
    if len(argv) < 6:
        print(__doc__, file=sys.stderr)
        return 2
    target, name, summary, version = argv[1:5]
    body = []
    for source in argv[5:]:
        path, _, heading = source.partition("#")
        lines = section(path, heading or None)
        first = next((l for l in lines if l.startswith("#")), "# x")
        body += convert(lines, len(re.match(r"#+", first).group(0)), not body)
    # SEE ALSO ends the page, after the reference sections.
    if '.SH "SEE ALSO"' in body:
        start = body.index('.SH "SEE ALSO"')
        end = next((i for i in range(start + 1, len(body)) if body[i].startswith(".SH ")), len(body))
        body = body[:start] + body[end:] + body[start:end]
    page = ["'\\\" t", f'.TH {name.upper()} 1 "" "diagmedia {version}" "User Commands"',
            # Left-aligned and unhyphenated: table cells hold long key names.
            ".ad l", ".nh", ".SH NAME", f"{name} \\- {escape(summary)}", *body]
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
