#!/usr/bin/python3
"""A packager's collection: every fourth .pcf.gz of the X11 misc and 75dpi
folders, through pcf2bdf, made OTB by quadsmith -T otb and by fonttosfnt.
Prints the fonts each makes, their bytes and time, and on the fonts both
make the total of each and the fonts of ours past 1.1 times theirs.

Usage: collection.py path/to/quadsmith
"""
import glob
import gzip
import os
import subprocess
import sys
import tempfile
import time


def main():
    tool = os.path.abspath(sys.argv[1])
    fonts = sorted(glob.glob("/usr/share/fonts/X11/misc/*.pcf.gz") +
                   glob.glob("/usr/share/fonts/X11/75dpi/*.pcf.gz"))[::4]
    with tempfile.TemporaryDirectory(prefix="quadsmith-collection.") as folder:
        bdfs = []
        for i, pcf in enumerate(fonts):
            bdf = os.path.join(folder, f"{i}.bdf")
            with open(bdf, "wb") as out:
                subprocess.run(["pcf2bdf"], input=gzip.open(pcf).read(), stdout=out, check=True)
            bdfs.append(bdf)
        sizes = {}
        for name, command in (("quadsmith -T otb", [tool, "-T", "otb", "-o"]),
                              ("fonttosfnt", ["fonttosfnt", "-o"])):
            start, made = time.monotonic(), {}
            for i, bdf in enumerate(bdfs):
                otb = os.path.join(folder, f"{i}.{len(sizes)}.otb")
                run = subprocess.run(command + [otb, bdf], capture_output=True)
                if run.returncode == 0 and os.path.exists(otb):
                    made[i] = os.path.getsize(otb)
            seconds = time.monotonic() - start
            sizes[name] = made
            print(f"{name}: {len(made)} of {len(bdfs)} made, {sum(made.values()):,} bytes,"
                  f" {seconds:.1f} s")
        ours, theirs = sizes["quadsmith -T otb"], sizes["fonttosfnt"]
        both = sorted(set(ours) & set(theirs))
        past = sorted(((ours[i] / theirs[i], i) for i in both if ours[i] > 1.1 * theirs[i]),
                      reverse=True)
        print(f"on the {len(both)} both make: ours {sum(ours[i] for i in both):,} bytes,"
              f" fonttosfnt's {sum(theirs[i] for i in both):,}; {len(past)} of ours past 1.1"
              " times theirs")
        for ratio, i in past[:10]:
            print(f"  {os.path.basename(fonts[i])}: {ours[i]:,} against {theirs[i]:,}"
                  f" ({ratio:.2f} times)")


if __name__ == "__main__":
    main()
