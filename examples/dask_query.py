#!/usr/bin/env python3
# dask_query.py - runs a CSS selector query (and optionally a bulk attribute
# edit) over every page of a folder tree on a Dask cluster, with the sprig
# Python binding, printing JSON Lines like `sprig find DIR SELECTOR --json`
# (file, line, column, name, attributes, text) or, with --count, the number
# of matches per file (as `sprig find DIR SELECTOR --count` does).
#
# On this machine (a LocalCluster of --workers workers is started):
#   python3 examples/dask_query.py ../shared/corpus/html 'a[href]'
#
# On a real cluster:
#   1. start a scheduler:              dask-scheduler        (prints tcp://HOST:8786)
#   2. on every worker machine:        dask-worker tcp://HOST:8786
#      with the sprig package installed (pip install the wheel, or set
#      PYTHONPATH to bindings/python and SPRIG_LIBRARY to libsprig-exact.so)
#      and the folder tree mounted at the same path as on this machine;
#   3. here:  python3 examples/dask_query.py --scheduler tcp://HOST:8786 /shared/site 'a[href]'
# The file list is made here; each worker opens, queries (and saves) the
# files of its partitions itself, so only paths and results travel.
#
# --set NAME=VALUE sets that attribute on every match; each edited file is
# saved in place (every other byte kept) through the binding's verified save.
import argparse
import json
import os
import sys

SUFFIXES = (".html", ".htm", ".xhtml", ".xml", ".rss", ".atom")


def list_files(root, suffixes=SUFFIXES):
    """The files under `root` (or `root` itself) whose names end in one of
    `suffixes`, in a stable order."""
    if os.path.isfile(root):
        return [root]
    found = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        found += [os.path.join(folder, f) for f in sorted(files) if f.lower().endswith(suffixes)]
    return found


def query_file(path, selector, set_attribute=None, encoding=None):
    """The matches of `selector` in one file as JSON-ready records; with
    set_attribute (name, value), also sets it on each match and saves."""
    import sprig
    records = []
    with sprig.Document.open(path, encoding=encoding) as doc:
        for element in doc.select(selector):
            line, column = element.line_column or (0, 0)
            attributes = {}
            for name, value in element.attrs.items():      # the first of a name wins
                attributes.setdefault(name, sprig.decode_text(value or ""))
            records.append({"file": path, "line": line, "column": column, "name": element.name,
                            "attributes": attributes, "text": element.text})
            if set_attribute:
                element.attrs[set_attribute[0]] = set_attribute[1]
    return records


def count_file(path, selector, encoding=None):
    """The number of matches of `selector` in one file."""
    import sprig
    with sprig.Document.open(path, encoding=encoding) as doc:
        return doc.count(selector)


def run(client, files, selector, count=False, set_attribute=None, encoding=None):
    """Maps the query over `files` with dask.bag on `client`'s cluster: a list
    of records, or of (file, count) pairs with `count`, in file order."""
    import dask.bag as db
    partitions = max(1, min(len(files), 4 * max(1, len(client.scheduler_info()["workers"]))))
    bag = db.from_sequence(files, npartitions=partitions)
    if count:
        return list(zip(files, bag.map(count_file, selector, encoding).compute()))
    return bag.map(query_file, selector, set_attribute, encoding).flatten().compute()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__ or "Selector queries on a Dask cluster.")
    parser.add_argument("root", help="a folder tree (or one file) of pages")
    parser.add_argument("selector", help="a CSS selector list, e.g. 'a[href]'")
    parser.add_argument("--scheduler", help="address of a running scheduler (tcp://HOST:8786); "
                        "default: a LocalCluster on this machine")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster workers (default 2)")
    parser.add_argument("--processes", action="store_true",
                        help="LocalCluster workers as processes (default: threads; the library "
                             "runs without the GIL)")
    parser.add_argument("--count", action="store_true", help="print match counts, not matches")
    parser.add_argument("--set", metavar="NAME=VALUE", help="set this attribute on every match "
                        "and save each file in place")
    parser.add_argument("--encoding", help="read every file in this encoding")
    args = parser.parse_args(argv)
    set_attribute = None
    if args.set:
        name, sep, value = args.set.partition("=")
        if not name or not sep:
            parser.error("--set takes NAME=VALUE")
        set_attribute = (name, value)

    from distributed import Client, LocalCluster
    files = list_files(args.root)
    if args.scheduler:
        client, cluster = Client(args.scheduler), None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                               processes=args.processes, dashboard_address=None)
        client = Client(cluster)
    try:
        results = run(client, files, args.selector, args.count, set_attribute, args.encoding)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    out = sys.stdout
    if args.count:      # as the tool prints them: FILE:N, or N for a single file
        for path, number in results:
            out.write("%d\n" % number if path == args.root else "%s:%d\n" % (path, number))
    else:
        for record in results:
            out.write(json.dumps(record, ensure_ascii=False, separators=(",", ":")) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
