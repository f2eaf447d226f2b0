#!/usr/bin/env python3
# mutate.sh — mutation check of the native test suite: how many small faults put into the library
# sources (src/) the tests catch. Usage, from the project root:
#   tools/dev/mutate.sh --tests REF [--label NAME] [--seed 21] [--count 150] [--first I] [--last J]
#                       [--pair SAMPLE_REF OTHER_REF] [--skip-slow] [--list] [--report]
# The tree of git ref REF (its src/ and its tests/) is exported to build/mutate/NAME/src and built
# there (ninja, -O1, native tests only), so two suites (say the base commit and HEAD) run the same
# sample of mutations side by side without touching the worktree. The sample is deterministic:
# every candidate change of every src/ module is listed (flip a comparison or a logical operator,
# change an integer constant by one, drop a statement, swap two arguments of a call), then COUNT
# are drawn with SEED, spread evenly over the modules. Each mutation is applied alone, the build
# brought up to date, ctest run with --stop-on-failure and a timeout, the file restored. Outcomes
# go to build/mutate/NAME/results.tsv (one line per mutation, resumable): killed (a test failed or
# timed out), survived (all passed), invalid (does not compile). --skip-slow leaves the million-
# level and hundred-megabyte stress tests out of the run (their mutations still count as killed
# only when another test fails); --gtest-exclude leaves out named tests (a test that cannot pass
# in that tree). --report prints the counts and the survivors. --python runs the binding's pytest
# suite too (all but the Dask test) against the library built; --recheck runs only the survivors
# of an earlier run again, so a run can be extended to the binding's tests afterwards.
# --pair compares two suites whose library sources differ too (a suite before and after a
# refactoring): the sample is drawn from SAMPLE_REF's sources, among the lines that OTHER_REF's
# sources hold as well, and each mutation is applied to the line of the same text in the tree
# under test (same file first, else the one file that has it). Both runs then judge the same
# faults, in the code both suites were written for. While a file build/mutate/PAUSE exists, the
# run waits between mutations (to leave the machine to a benchmark).
import argparse, os, random, re, shutil, signal, subprocess, sys, time

ap = argparse.ArgumentParser()
ap.add_argument("--tests", default="HEAD")
ap.add_argument("--label")
ap.add_argument("--seed", type=int, default=21)
ap.add_argument("--count", type=int, default=150)
ap.add_argument("--first", type=int, default=0)
ap.add_argument("--last", type=int, default=10**9)
ap.add_argument("--skip-slow", action="store_true")
ap.add_argument("--gtest-exclude", default="", help="tests left out, as a gtest filter (A.B:C.*)")
ap.add_argument("--pair", nargs=2, metavar=("SAMPLE_REF", "OTHER_REF"))
ap.add_argument("--python", action="store_true",
                help="also run the binding's pytest suite (not the Dask test) against the built library")
ap.add_argument("--recheck", action="store_true",
                help="run the survivors of results.tsv again (with --python: the binding's tests too)")
ap.add_argument("--list", action="store_true")
ap.add_argument("--report", action="store_true")
args = ap.parse_args()
root = os.getcwd()
label = args.label or re.sub(r"[^\w.-]", "_", args.tests)
work = os.path.join(root, "build", "mutate", label)
src, bld = os.path.join(work, "src"), os.path.join(work, "build")
results = os.path.join(work, "results.tsv")
SLOW = "-HostileDeep.*:HostileWide.*"

def sh(cmd, **kw):
    return subprocess.run(cmd, shell=True, **kw)

def export(ref=None, into=None):
    ref, into = ref or args.tests, into or src
    if os.path.isdir(into):
        return into
    os.makedirs(into)
    sh(f"git archive {ref} | tar -x -C {into}", check=True)
    return into

def tree_of(ref):
    """The sources of `ref`, exported once into build/mutate/trees/."""
    name = re.sub(r"[^\w.-]", "_", sh(f"git rev-parse {ref}", capture_output=True,
                                       text=True, check=True).stdout.strip())
    return export(ref, os.path.join(root, "build", "mutate", "trees", name))

# ---- Candidates ------------------------------------------------------------------------------

CMP = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ", " == ": " != ", " != ": " == ",
       " && ": " || ", " || ": " && "}
NUM = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
DROP = re.compile(r"^\s*(\+\+|--)?[A-Za-z_][\w.\->\[\]*]*\s*(\(|=[^=]|\+=|-=|\|=|&=|\+\+|--)")
DECL = re.compile(r"^\s*(return|const|auto|static|unsigned|int|bool|char|size_t|uint\d+_t|int\d+_t|"
                  r"std::|SG_|Node|Cursor|Document|if|for|while|switch|case|else|do|using|struct|"
                  r"class|namespace|template|typedef|[A-Z]\w*\s+\*?\w+\s*[=;(])")
SWAP = re.compile(r"\b(\w+)\(([\w.>\-]+), ([\w.>\-]+)\)")

def code_part(line):
    """The line with string and character literals blanked and any // comment cut off."""
    out, quote, i = [], None, 0
    while i < len(line):
        ch = line[i]
        if quote:
            if ch == "\\":
                out.append("  "); i += 2; continue
            out.append(" " if ch != quote else ch)
            if ch == quote: quote = None
        elif ch in "\"'":
            quote = ch; out.append(ch)
        elif line.startswith("//", i):
            break
        else:
            out.append(ch)
        i += 1
    return "".join(out)

def candidates(path, base):
    rel = os.path.relpath(path, base)
    found, in_block = [], False
    for no, line in enumerate(open(path, encoding="utf-8", errors="replace"), 1):
        s = line.strip()
        if in_block:
            in_block = "*/" not in s; continue
        if s.startswith("/*"):
            in_block = "*/" not in s; continue
        if not s or s.startswith("#") or s.startswith("//") or s.startswith("*"):
            continue
        code = code_part(line)
        for op, new in CMP.items():
            for m in re.finditer(re.escape(op), code):
                found.append((rel, no, "flip", m.start(), op, new))
        for m in NUM.finditer(code):
            found.append((rel, no, "const", m.start(), m.group(1), str(int(m.group(1)) + 1)))
        if s.endswith(";") and DROP.match(code) and not DECL.match(code) and code.count("(") == code.count(")"):
            found.append((rel, no, "drop", 0, line.rstrip("\n"), ";"))
        for m in SWAP.finditer(code):
            if m.group(1) not in ("if", "while", "for", "switch", "return", "sizeof"):
                a, b = m.group(2), m.group(3)
                if a != b:
                    found.append((rel, no, "swap", m.start(2), f"{a}, {b}", f"{b}, {a}"))
    return found

def library_files(base):
    files = []
    for d, _, names in os.walk(os.path.join(base, "src")):
        if os.path.relpath(d, base).split(os.sep)[:2] == ["src", "testing"]:
            continue  # test support, not the library
        for n in names:
            # Test-only or Windows-only sources are not the native library's.
            if n.endswith(".cpp") and n not in ("invariants.cpp", "global_memory_win.cpp"):
                files.append(os.path.join(d, n))
    return sorted(files)

def lines_of(base):
    """Each stripped source line of the library in `base`: [(rel, line number)]."""
    where = {}
    for f in library_files(base):
        rel = os.path.relpath(f, base)
        for no, line in enumerate(open(f, encoding="utf-8", errors="replace"), 1):
            where.setdefault(line.strip(), []).append((rel, no))
    return where

def spot_of(where, rel, no, line):
    """Where the line `line` of `rel` (at `no`) is in the tree whose lines are `where`: in the
    same file (the nearest such line), else where the tree holds it once, if it is long enough
    to be the same statement moved. None when the text is not there or the choice is unclear."""
    spots = where.get(line.strip(), [])
    same = [s for s in spots if s[0] == rel]
    if same:
        return min(same, key=lambda s: abs(s[1] - no))
    return spots[0] if len(spots) == 1 and len(line.strip()) >= 24 else None

def sample():
    base = tree_of(args.pair[0]) if args.pair else src
    other = lines_of(tree_of(args.pair[1])) if args.pair else None
    by_module = {}
    for f in library_files(base):
        module = os.path.relpath(f, base).split("/")[1]
        if args.pair and not os.path.isdir(os.path.join(tree_of(args.pair[1]), "src", module)):
            continue  # a module the other tree does not have: its suite was not written for it
        found = candidates(f, base)
        if other is not None:
            text = open(f, encoding="utf-8", errors="replace").read().split("\n")
            found = [c for c in found if spot_of(other, c[0], c[1], text[c[1] - 1])]
        if found:
            by_module.setdefault(os.path.relpath(f, base).split("/")[1], []).extend(found)
    rng = random.Random(args.seed)
    modules = sorted(by_module)
    picks, quota = [], {m: args.count // len(modules) for m in modules}
    for m in modules[: args.count % len(modules)]:
        quota[m] += 1
    for m in modules:
        pool = by_module[m]
        picks += rng.sample(pool, min(quota[m], len(pool)))
    rng.shuffle(picks)  # so that the first mutations of a partial run cover every module
    if not args.pair:
        return picks
    # Into the tree under test: the line of the same text, in the same file
    # (the nearest one) or else in the one file that holds it.
    here = lines_of(src)
    mapped = []
    for rel, no, kind, col, old, new in picks:
        line = open(os.path.join(base, rel), encoding="utf-8").read().split("\n")[no - 1]
        spot = spot_of(here, rel, no, line)
        if spot is None:
            mapped.append((rel, no, "absent", col, old, new))
            continue
        indent = len(line) - len(line.lstrip())
        target = open(os.path.join(src, spot[0]), encoding="utf-8").read().split("\n")[spot[1] - 1]
        shift = len(target) - len(target.lstrip()) - indent
        if kind == "drop":
            old = target
        mapped.append((spot[0], spot[1], kind, col + shift, old, new))
    return mapped

# ---- Running ---------------------------------------------------------------------------------

def configure():
    if os.path.exists(os.path.join(bld, "build.ninja")):
        return
    corpus = os.path.join(os.path.dirname(root), "shared", "corpus")
    sh(f"cmake -S {src} -B {bld} -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "
       f"-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 "
       f"-DSPRIG_BUILD_TESTS=ON -DSPRIG_CORPUS_DIR={corpus} "
       f"-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null", check=True)

def build():
    return sh(f"ninja -C {bld} -j2", capture_output=True).returncode == 0

def run_tests(timeout):
    env = dict(os.environ)
    left_out = [p for p in ((SLOW if args.skip_slow else ""), args.gtest_exclude) if p]
    if left_out:
        env["GTEST_FILTER"] = "-" + ":".join(p.lstrip("-") for p in left_out)
    # In a session of its own, so that a mutant that loops is killed with
    # every test process, whatever timeouts the tests set themselves.
    p = subprocess.Popen(f"ctest --test-dir {bld} -j2 --stop-on-failure --timeout {timeout}",
                         shell=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    if not wait(p, timeout):
        return False
    if not args.python or not os.path.isdir(os.path.join(src, "bindings", "python", "tests")):
        return True
    library = os.path.join(bld, "lib", "libsprig-exact.so")  # the binding's library; before it, the core's
    if not os.path.exists(library):
        library = os.path.join(bld, "lib", "libsprig.so")
    env = dict(os.environ, SPRIG_LIBRARY=library,
               SPRIG_TOOL=os.path.join(bld, "bin", "sprig"), PYTHONDONTWRITEBYTECODE="1",
               SPRIG_CORPUS_DIR=os.path.join(os.path.dirname(root), "shared", "corpus"))
    env.pop("PYTHONPATH", None)
    p = subprocess.Popen(f"/usr/bin/python3 -m pytest -x -q -p no:cacheprovider -k 'not dask' "
                         f"bindings/python/tests", shell=True, cwd=src, env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    return wait(p, timeout)

def wait(p, timeout):
    """True when the process session `p` ends with status 0 within `timeout` seconds."""
    try:
        return p.wait(timeout=timeout) == 0
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        return False

def main():
    # A stop (kill, Ctrl-C) restores the mutated file before the run ends.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    # Absolute source paths: an older tree's tests find their data from __FILE__,
    # which a ccache base_dir would make relative to the build folder.
    os.environ["CCACHE_BASEDIR"] = ""
    export()
    picks = sample()
    if args.list:
        for i, p in enumerate(picks):
            print(i, *p[:5], "->", p[5], sep="\t")
        return
    done = {}
    if os.path.exists(results):
        for l in open(results):
            f = l.rstrip("\n").split("\t")
            done[int(f[0])] = f
    if args.report:
        counts = {}
        for f in done.values():
            counts[f[6]] = counts.get(f[6], 0) + 1
        print(label, len(done), "run:", counts)
        for i in sorted(done):
            if done[i][6] == "survived":
                print("  survived", *done[i][:6], sep="\t")
        return
    configure()
    assert build(), "the unmutated tree does not build"
    t0 = time.time()
    assert run_tests(1200), "the unmutated suite fails"
    base = time.time() - t0
    open(os.path.join(work, "baseline.txt"), "a").write(f"ctest of the unmutated tree: {base:.0f} s\n")
    # A mutant that loops is killed at four times the whole suite's time.
    timeout = int(max(60, 4 * base))
    for i, (rel, no, kind, col, old, new) in enumerate(picks):
        if args.recheck:
            if i not in done or done[i][6] != "survived":
                continue
        elif i < args.first or i > args.last or i in done:
            continue
        while os.path.exists(os.path.join(root, "build", "mutate", "PAUSE")):
            time.sleep(5)  # another measurement wants the machine: wait between mutations
        if kind == "absent":
            row = [str(i), rel, str(no), kind, old.strip(), new, "absent", "0"]
            open(results, "a").write("\t".join(row) + "\n")
            continue
        path = os.path.join(src, rel)
        text = open(path, encoding="utf-8").read()
        lines = text.split("\n")
        line = lines[no - 1]
        lines[no - 1] = new if kind == "drop" else line[:col] + new + line[col + len(old):]
        start = time.time()
        try:
            open(path, "w", encoding="utf-8").write("\n".join(lines))
            outcome = "invalid" if not build() else "survived" if run_tests(timeout) else "killed"
        finally:
            open(path, "w", encoding="utf-8").write(text)
        row = [str(i), rel, str(no), kind, old.strip(), new, outcome, f"{time.time() - start:.0f}"]
        open(results, "a").write("\t".join(row) + "\n")
        print(*row, sep="\t", flush=True)
    build()

main()
