#!/usr/bin/env python3
"""The report page (-report <name>.html) of the real program, opened from its
file in Debian's headless chromium with the network off: it shows the verdict,
its figures are the JSON file's of the same run, driver text with markup stays
text, a wrong picture shows the three frames, -all shows every back-end, and the
page stands alone and stays small.

Usage: html_report_check.py <case> <build bin dir> [windows build dir]
Cases: page, markup, wrong-picture, all, wine.
"""
import base64
import html.parser
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

case, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
windows_dir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "support"))
from test_display import DriverFault, TestDisplay  # noqa: E402

program = os.path.join(bin_dir, "vyrtest")
preload = os.path.join(os.path.dirname(bin_dir), "tests", "preload")
work = tempfile.mkdtemp(prefix="vyr-page.")
failures = []
# The verdict header's background, as the page's style sheet paints it.
TONES = {"renders": (0xE6, 0xF4, 0xE6), "wrong picture": (0xFB, 0xE9, 0xE7), "cannot render": (0xFB, 0xE9, 0xE7)}
MAP_RED = (230, 32, 32)


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def png_size(data):
    return struct.unpack(">II", data[16:24]) if data[:8] == b"\x89PNG\r\n\x1a\n" else (0, 0)


def png_rows(path):
    """(width, bytes per pixel, rows) of an 8-bit, non-interlaced RGB(A) PNG: the browser's screenshot."""
    data = open(path, "rb").read()
    pos, idat, width, height, bpp = 8, [], 0, 0, 3
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and interlace == 0 and colour in (2, 6), "an 8-bit RGB(A) PNG"
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat.append(body)
        pos += 12 + length
    raw, stride = zlib.decompress(b"".join(idat)), width * bpp
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride) if kind else ():
            a = line[i - bpp] if i >= bpp else 0
            b, c = previous[i], previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            else:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, bpp, rows


def colour_count(shot, colour):
    width, bpp, rows = shot
    wanted = bytes(colour)
    return sum(1 for row in rows for x in range(0, width * bpp, bpp) if row[x:x + 3] == wanted)


class Page(html.parser.HTMLParser):
    """The parts of the page the test reads: figures (data-figure, per back-end
    section), the verdict, the elements and every address the page names."""
    VOID = {"img", "meta", "br", "hr", "input", "link", "source", "col", "wbr", "area", "base", "embed"}

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.stack, self.figures, self.tags, self.addresses, self.verdict = [], [], [], [], {}
        self.ids, self.backends, self.summary_rows, self.frame_rows = set(), [], [], []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append(tag)
        self.addresses += [v for k, v in attrs if k in ("src", "href", "action", "data", "poster") and v]
        if "id" in a:
            self.ids.add(a["id"])
        if tag == "header" and a.get("id") == "verdict":
            self.verdict = {"words": a.get("data-verdict"), "exit_code": a.get("data-exit-code"), "text": ""}
        if tag == "section" and "data-backend" in a:
            self.backends.append(a["data-backend"])
        if tag == "tr" and "data-backend" in a:
            self.summary_rows.append(a["data-backend"])
        if tag == "div" and a.get("class") == "frames":
            self.frame_rows.append([])
        if self.frame_rows and (tag == "img" or "reference" in a.get("class", "")):
            self.frame_rows[-1].append(a)
        if tag in self.VOID:
            return
        backend = self.backends[-1] if self.backends else None
        entry = {"key": a.get("data-figure"), "backend": backend, "text": "", "class": a.get("class", "")}
        if entry["key"]:
            self.figures.append(entry)
        self.stack.append((tag, entry))

    def handle_endtag(self, tag):
        while self.stack:
            if self.stack.pop()[0] == tag:
                break

    def handle_data(self, data):
        for tag, entry in self.stack:
            if entry["key"]:
                entry["text"] += data
            if tag == "header" and self.verdict:
                self.verdict["text"] += data


def lookup(document, key):
    value = document
    for part in key.split("."):
        if isinstance(value, list) and part.isdigit() and int(part) < len(value):
            value = value[int(part)]
        elif isinstance(value, dict) and part in value:
            value = value[part]
        else:
            return KeyError
    return value


def expected_text(key, value):
    """The figure as a person reads it: fps to one decimal, milliseconds to two, with units."""
    if value is None:
        return None
    if isinstance(value, bool):
        return "yes" if value else "no"
    if key.startswith("screen.") and isinstance(value, float):
        return "%.2f ms" % value if "_ms" in key else "%.3f" % value
    if key.endswith("_fps"):
        return "%.1f fps" % value
    if ".frame_time_ms." in key:
        return "%.2f ms" % value
    if key in ("frames.seconds", "frames.paused_seconds"):
        return "%.2f s" % value
    if ".regions." in key:
        return "%.4f" % value
    if key == "driver.gpu_memory_kib":
        return "%.0f MiB" % (value / 1024)
    return str(value)


REQUIRED = ["program.backend", "driver.renderer", "driver.vendor", "driver.software_rasteriser",
            "driver.direct_rendering", "session.remote", "session.decided_by", "frames.count", "frames.mean_fps",
            "frames.frame_time_ms.p50", "frames.frame_time_ms.p95", "frames.frame_time_ms.p99",
            "frames.frame_time_ms.max", "frames.one_percent_low_fps"]


def figures_agree(page, runs):
    """Every figure of the page against the JSON of the same run; runs: back-end (None for one run) -> document."""
    seen = {}
    for figure in page.figures:
        key, run = figure["key"], runs.get(figure["backend"])
        text = " ".join(figure["text"].split())
        seen.setdefault(figure["backend"], set()).add(key)
        if key.endswith(".cells_over") or key.endswith(".outcome"):
            continue  # the map's and the outcome's words: checked by the cases
        value = lookup(run, key) if run is not None else KeyError
        want = expected_text(key, value) if value is not KeyError else KeyError
        ok = want is not KeyError and (text.startswith(want) if want else text in ("not known", "not decided", "nothing", "none"))
        check(ok, "%s%s: page %r, JSON %r" % (figure["backend"] + " " if figure["backend"] else "", key, text,
                                              value if value is not KeyError else "(absent)"))
    for backend, run in runs.items():
        if run and run.get("frames"):
            missing = [k for k in REQUIRED if k not in seen.get(backend, set())]
            check(not missing, "%s: the page shows %s" % (backend or "the run", missing or "every required figure"))


def stands_alone(path, text, page):
    size = os.path.getsize(path)
    check(size < 1024 * 1024, "the page is under 1 MB (%d bytes)" % size)
    outside = [a[:40] for a in page.addresses if not a.startswith("data:") and not a.startswith("#")]
    check(not outside, "every picture is in the page: %s" % (outside or "data: URIs only"))
    check("script" not in page.tags and "link" not in page.tags and "iframe" not in page.tags,
          "no script, no linked style, no frame")
    check(not re.search(r"https?:|url\((?!data:)", text), "no network address, no style from outside")


def browse(d, path):
    """The page from its file in headless chromium with the network off: (screenshot rows, rendered DOM)."""
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--host-resolver-rules=MAP * ~NOTFOUND", "--window-size=1200,3000"]
    url = "file://" + path
    shot = path + ".shot.png"
    code, _, err = d.run(["chromium"] + flags + ["--user-data-dir=" + tempfile.mkdtemp(dir=work),
                                                 "--screenshot=" + shot, url], timeout=180)
    check(code == 0 and os.path.exists(shot), "chromium took a screenshot (exit %s) %s" % (code, err[-300:] if code else ""))
    code, dom, err = d.run(["chromium"] + flags + ["--user-data-dir=" + tempfile.mkdtemp(dir=work), "--dump-dom", url],
                           timeout=180)
    check(code == 0 and "</html>" in dom, "chromium gave the rendered page (exit %s)" % code)
    return (png_rows(shot) if os.path.exists(shot) else (0, 3, [])), dom


def shows_verdict(shot, dom, words, exit_code):
    """The verdict as chromium rendered it: in the DOM after loading, and painted at the top."""
    rendered = Page(dom)
    check(rendered.verdict.get("words") == words and rendered.verdict.get("exit_code") == str(exit_code)
          and words.lower() in rendered.verdict.get("text", "").lower()
          and "Exit code %d" % exit_code in rendered.verdict.get("text", ""),
          "the rendered page opens with %r, exit code %d (%s)" % (words, exit_code, rendered.verdict))
    width, bpp, rows = shot
    top = (width, bpp, rows[:250])
    painted = colour_count(top, TONES[words])
    check(painted > 20000, "the verdict's box is painted at the top (%d pixels of its colour)" % painted)
    colours = {row[x:x + 3] for row in rows[::7] for x in range(0, width * bpp, bpp * 5)}
    check(len(colours) > 50, "the screenshot is not blank (%d colours)" % len(colours))


def run(d, arguments, timeout=300, **env):
    code, out, err = d.run([program, "-nosound"] + arguments, env=d.env(**env), timeout=timeout)
    print("exit %s\n%s" % (code, err[-1500:]))
    return code


def load(path):
    try:
        return json.load(open(path)), open(path.replace(".json", ".html"), encoding="utf-8").read()
    except (OSError, ValueError) as e:
        check(False, "the run's files: %s" % e)
        return None, ""


def three_frames(page, label, row=0):
    """The reference, the renderer's and the screen's frame side by side in the row of frames `row` that
    starts with a reference (one per check that ran)."""
    rows = [r for r in page.frame_rows if r and "reference" in r[0].get("class", "")]
    frames = rows[row] if row < len(rows) else []
    kinds = [("reference" if "reference" in a.get("class", "") else a.get("alt")) for a in frames]
    check(kinds == ["reference", "renderer", "screen"], "%s: the three frames side by side (%s)" % (label, kinds))
    for a in frames[1:]:
        src = a.get("src", "")
        size = png_size(base64.b64decode(src.split(",", 1)[1])) if src.startswith("data:image/png;base64,") else (0, 0)
        check(size == (640, 400), "%s: the %s frame is a 640 x 400 PNG in the page %s" % (label, a.get("alt"), size))


try:
    os.chdir(work)
    report, page_path = os.path.join(work, "r.json"), os.path.join(work, "r.html")
    if case == "page":
        # One run, three files: the page's figures are the JSON file's; the charts' own figures
        # are the test's count of the presents a preloaded library stamps.
        stamps = os.path.join(work, "stamps")
        with TestDisplay() as d:
            code = run(d, ["-check", "-duration", "5", "-report", report, "-report", page_path, "-report", "r.prom"],
                       LD_PRELOAD=os.path.join(preload, "driver_faults.so"), VYR_TEST_STAMPS=stamps)
            check(code == 0, "exit code 0 (%s)" % code)
            results, text = load(report)
            if results:
                prom = open("r.prom").read() if os.path.exists("r.prom") else ""
                mean = re.search(r"^vyrtest_frames_per_second_mean\{[^}]*\} (\S+)$", prom, re.M)
                check(mean and abs(float(mean.group(1)) - results["frames"]["mean_fps"]) < 1e-6,
                      "the metrics tell the same run's mean frame rate (%s)" % (mean and mean.group(1)))
                page = Page(text)
                stands_alone(page_path, text, page)
                figures_agree(page, {None: results})
                three_frames(page, "a right picture")
                check([f["text"] for f in page.figures if f["key"].endswith("cells_over")] == ["0", "0"],
                      "no cell over its limit in either map")
                # The screen's figures in words, and its delays charted beside the frame times.
                words = [w for w in ("Delay to the screen, p50", "Delay to the screen, longest",
                                     "Longest time the screen did not change", "Delay to the screen over the run")
                         if w not in text]
                check(not words and not re.search(r">[^<]*\b(ms p50|delay ms|gap ms)\b", text),
                      "the screen's figures are labelled in words: %s" % (words or "yes"))
                series = results["frames"]["series"]
                presents = [int(line.split()[0]) for line in open(stamps)]
                own = [0] * int((presents[-1] - presents[0]) // 1e9)
                for t in presents[1:]:
                    second = int((t - presents[0]) // 1e9)
                    if second < len(own):
                        own[second] += 1
                # The check frame is presented too, and a second's edge may fall between the stamp and the
                # program's own reading of the clock: a frame or two either way.
                check(abs(len(series["per_second"]) - len(own)) <= 1
                      and all(abs(a - b) <= 2 for a, b in zip(series["per_second"], own)),
                      "frames per second %s, counted from the stamps %s" % (series["per_second"], own))
                check(series["frames"] == results["frames"]["frame_time_ms"]["frames"]
                      and abs(sum(series["per_second"]) - len(presents)) <= len(series["per_second"]) + 2,
                      "the series covers every frame time")
                paths = re.findall(r'<path d="([^"]*)" class="rate"', text)
                check(paths and paths[0].count("L") + 1 == len(series["per_second"]),
                      "the frame-rate chart has a point per second")
                shot, dom = browse(d, page_path)
                shows_verdict(shot, dom, "renders", 0)
    elif case == "markup":
        # A driver whose renderer name holds markup: the page shows it as text, the browser runs nothing.
        name = '<script>document.title="injected"</script><b id="injected">bold</b> & "quoted" \'x\''
        with TestDisplay() as d:
            code = run(d, ["-duration", "1", "-report", report, "-report", page_path],
                       LD_PRELOAD=os.path.join(preload, "driver_faults.so"), VYR_TEST_GL_RENDERER=name)
            check(code == 0, "exit code 0 (%s)" % code)
            results, text = load(report)
            if results:
                check(results["driver"]["renderer"] == name, "the JSON holds the disguised name")
                page = Page(text)
                stands_alone(page_path, text, page)
                figures_agree(page, {None: results})
                shot, dom = browse(d, page_path)
                rendered = Page(dom)
                check("injected" not in rendered.ids and "script" not in rendered.tags and "b" not in rendered.tags,
                      "the name's markup made no element")
                check([f["text"] for f in rendered.figures if f["key"] == "driver.renderer"] == [name],
                      "the rendered page shows the name as its text")
                check("<title>vyrtest: renders (OpenGL)</title>" in dom, "its script did not run")
                shows_verdict(shot, dom, "renders", 0)
    elif case == "wrong-picture":
        # A driver that drops the mesh draws: the page says why, shows the three frames and where they differ.
        with TestDisplay() as d:
            fault = DriverFault(os.path.join(preload, "driver_faults.so"), "drop-meshes", work)
            code = run(d, ["-check", "-duration", "2", "-report", report, "-report", page_path], **fault.env())
            check(code == 3 and fault.took(), "exit code 3 (%s); %s" % (code, fault.not_taken() or "the fault took"))
            results, text = load(report)
            if results:
                page = Page(text)
                stands_alone(page_path, text, page)
                figures_agree(page, {None: results})
                three_frames(page, "a wrong picture")
                renderer = results["picture"]["checks"][0]
                check(renderer["worst_region"] in page.verdict.get("text", "") and "renderer" in page.verdict["text"],
                      "the verdict names the renderer's worst region: %s" % page.verdict.get("text"))
                outcomes = [f["text"] for f in page.figures if f["key"].endswith(".outcome")]
                check(outcomes[:1] == ["failed"], "the renderer's check failed on the page: %s" % outcomes)
                over = [int(f["text"]) for f in page.figures if f["key"] == "picture.checks.0.cells_over"]
                check(over and over[0] > 0, "the renderer's map has cells over their limit: %s" % over)
                shot, dom = browse(d, page_path)
                shows_verdict(shot, dom, "wrong picture", 3)
                check(colour_count(shot, MAP_RED) > 100, "the map's red cells are painted")
    elif case == "all":
        # -all with OpenGL's mesh draws dropped: one page, a summary row and a section for each back-end of the
        # build, each with its figures; OpenGL's wrong frames read back from the files its run wrote.
        with TestDisplay() as d:
            fault = DriverFault(os.path.join(preload, "driver_faults.so"), "drop-meshes", work)
            code = run(d, ["-all", "-check", "-duration", "2", "-report", page_path, "-report", report], timeout=600,
                       **fault.env())
            check(code == 3 and fault.took(), "exit code 3 (%s); %s" % (code, fault.not_taken() or "the fault took"))
            results, text = load(report)
            if results:
                names = ["OpenGL", "Vulkan"]
                check([(b["backend"], b["outcome"]) for b in results["backends"]]
                      == [("OpenGL", "wrong picture"), ("Vulkan", "renders")], "the build's back-ends in the JSON")
                page = Page(text)
                stands_alone(page_path, text, page)
                check(page.summary_rows == names and page.backends == names,
                      "a summary row and a section per back-end: %s, %s" % (page.summary_rows, page.backends))
                figures_agree(page, {b["backend"]: b["results"] for b in results["backends"]})
                three_frames(page, "OpenGL under -all")
                three_frames(page, "Vulkan's passed check under -all", 1)
                left = sorted(f for f in os.listdir(work) if f.endswith(".png"))
                check(left == ["r.opengl.renderer.png", "r.opengl.screen.png"],
                      "only the failed check's frames stay as files: %s" % left)
                check("OpenGL" in page.verdict.get("text", ""), "the verdict names OpenGL: %s" % page.verdict)
                shot, dom = browse(d, page_path)
                shows_verdict(shot, dom, "wrong picture", 3)
                check(Page(dom).backends == names, "the rendered page holds every back-end")
    elif case == "wine":
        # The Windows build writes the same page under Wine.
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
                  'wine "%s" -check -nosound -duration 2 -report r.json -report r.html >out 2>&1; echo "exit $?"'
                  % (here, work, exe))
        done = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=600)
        check("exit 0" in done.stdout, "exit code 0: " + done.stdout.strip())
        results, text = load(report)
        if results:
            page = Page(text)
            stands_alone(page_path, text, page)
            figures_agree(page, {None: results})
            three_frames(page, "under Wine")
            check(page.verdict.get("words") == "renders", "the verdict: %s" % page.verdict)
    else:
        check(False, "unknown case " + case)
finally:
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)

sys.exit(1 if failures else 0)
