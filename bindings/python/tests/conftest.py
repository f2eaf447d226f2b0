# Shared fixtures of the Python binding tests: the library under test (the
# build named by SPRIG_LIBRARY, else the dev build of this checkout), the
# read-only corpus.
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

if not os.environ.get("SPRIG_LIBRARY"):
    candidate = os.path.join(REPO, "build", "dev", "lib", "libsprig-exact.so")
    if os.path.exists(candidate):
        os.environ["SPRIG_LIBRARY"] = candidate

try:
    import sprig  # noqa: F401  (an installed copy wins)
except ImportError:
    sys.path.insert(0, os.path.dirname(HERE))

CORPUS = os.environ.get("SPRIG_CORPUS_DIR") or os.path.join(REPO, "..", "shared", "corpus")

