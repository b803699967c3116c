#!/usr/bin/python3
"""tolvane-cli clean on one photo against OpenCV's Telea inpainting of the same photo.

Both read the JPEG, remove the wires and write a JPEG. Telea gets tolvane-cli's own mask, so
that only the removal and the file handling differ; its time counts reading, inpainting and
writing, not finding the wires. Prints the median wall-clock time of each over a few runs.

    bench/clean_vs_telea.py PHOTO [--cli build/cli/tolvane-cli] [--runs 5]

With no PHOTO a 24-megapixel sky with sagging wires is drawn into a temporary folder.
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time

import cv2
import numpy as np


def drawn_photo(path):
    """A 6000 x 4000 sky with texture and six dark sagging wires, as a JPEG of quality 90."""
    h, w = 4000, 6000
    y = np.linspace(0, 1, h, dtype=np.float32)[:, None]
    sky = np.empty((h, w, 3), np.float32)
    sky[..., 0] = 210 + 30 * y  # blue
    sky[..., 1] = 140 + 75 * y
    sky[..., 2] = 90 + 100 * y
    rng = np.random.default_rng(1)
    sky += rng.integers(-8, 8, size=(h, w, 1)).astype(np.float32)
    photo = np.clip(sky, 0, 255).astype(np.uint8)
    xs = np.arange(0, w, 4)
    for wire in range(6):
        t = xs / w
        ys = (1 - t) ** 2 * (400 + wire * 500) + 2 * t * (1 - t) * (800 + wire * 500) \
            + t * t * (350 + wire * 500)
        points = np.stack([xs, ys], axis=1).astype(np.int32)
        cv2.polylines(photo, [points], False, (45, 40, 40), 1 + wire % 3, cv2.LINE_AA)
    cv2.imwrite(path, photo, [cv2.IMWRITE_JPEG_QUALITY, 90])


def timed(action, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("photo", nargs="?")
    parser.add_argument("--cli", default="build/cli/tolvane-cli")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        photo = args.photo or os.path.join(folder, "sky.jpg")
        if not args.photo:
            drawn_photo(photo)
        mask = os.path.join(folder, "mask.png")
        subprocess.run([args.cli, "detect", photo, "-o", mask], check=True)

        def clean():
            subprocess.run([args.cli, "clean", photo, "-o", os.path.join(folder, "clean.jpg"),
                            "--overwrite", "--jobs", "1"], check=True, stderr=subprocess.DEVNULL)

        def telea():
            image = cv2.imread(photo)
            marks = (cv2.imread(mask, cv2.IMREAD_UNCHANGED)[..., 3] > 0).astype(np.uint8)
            result = cv2.inpaint(image, marks, 3, cv2.INPAINT_TELEA)
            cv2.imwrite(os.path.join(folder, "telea.jpg"), result,
                        [cv2.IMWRITE_JPEG_QUALITY, 100])

        height, width = cv2.imread(photo, cv2.IMREAD_REDUCED_GRAYSCALE_8).shape
        print(f"photo: {os.path.basename(photo)}, about {width * height * 64 / 1e6:.0f} MP")
        print(f"tolvane-cli clean (decode, detect, remove, encode): {timed(clean, args.runs):.2f} s")
        print(f"OpenCV Telea, radius 3 (decode, inpaint, encode):   {timed(telea, args.runs):.2f} s")


if __name__ == "__main__":
    main()
