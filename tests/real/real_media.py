#!/usr/bin/python3
"""Kolvo on real media no one here wrote (tools/real-media), each file checked against a peer
that reads it independently:

  audio   kolvo-cli info: length against ffprobe (within 60 ms or 2 %), channels against
          ffprobe, PCM sample width against ffprobe and never "MPEG" for a file that is not;
          kolvo-cli name --tags: title and artist against ffprobe's tags; kolvo-cli play: sound
          heard at the private PulseAudio's monitor (files of 0.1 to 5 s).
  midi    kolvo-cli info: length against mido (or our own reader of the file's tempo map) within
          100 ms or 2 %; a .kar file's lines in kolvo-cli karaoke against mido's text events.
  module  kolvo-cli info: length against openmpt123 within 100 ms or 2 %.
  video   kolvo-cli info: length against ffprobe (for an elementary MPEG video stream, which
          carries no times, its frames as ffprobe counts them over its frame rate) and the
          picture size against ffprobe's. kolvo-cli video frame: the picture at the first frame
          and, in clips of more than a second, in the middle of the frame one second in,
          against the frame of that number ffmpeg decodes (display order), pixel by pixel in
          RGB: a mean difference of at most 4 levels in each channel and a PSNR of at least
          35 dB (neighbouring frames of the corpus's clips score below 32 dB). The frame is
          chosen by number, not with ffmpeg's -ss, because ffmpeg times the frames of an
          elementary stream on guesses; and MPEG program streams are compared at their first
          frame only, since GStreamer's demuxer seeks them about half a second off ffmpeg's.
          RealMedia films have no picture check: the RealVideo engine has no Capture.

Files a player does not handle yet are expected failures naming the issue that will handle them;
one that passes is reported so that its mark can go. Prints a summary: files, peers agreeing,
expected failures and what handles them, run time. Exits 77 (skipped) unless
KOLVO_REAL_MEDIA_RUN=1 and the cache has been fetched: `make test-real` sets both up.
"""

import array
import json
import math
import os
import re
import subprocess
import sys
import time

SOURCE = os.environ.get("KOLVO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
CLI = os.path.join(os.environ.get("KOLVO_BIN_DIR", "build/bin"), "kolvo-cli")
SINK = os.environ.get("KOLVO_TEST_SINK", "kolvo_test")
SKIP = 77

ISSUES = {}  # a mark's reason, when more is to be said than its issue's number


TAGGED_CODECS = {"mp1", "mp2", "mp3", "vorbis", "flac", "opus", "aac", "alac", "wmav2",
                 "wavpack"}


def run(args, timeout=30):
    try:
        p = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
        return p.returncode, p.stdout, p.stderr
    except subprocess.TimeoutExpired:
        return -1, "", "timed out"


def close(ours_ms, theirs_ms, floor_ms):
    return abs(ours_ms - theirs_ms) <= max(floor_ms, 0.02 * theirs_ms)


def channels_name(n):
    return {1: "Mono", 2: "Stereo"}.get(n, "%d channels" % n)


def kolvo_info(path):
    code, out, err = run([CLI, "info", path])
    if code != 0:
        return None, (err.strip().splitlines() or ["kolvo-cli info failed"])[-1]
    fields = dict(line.split(": ", 1) for line in out.splitlines() if ": " in line)
    return fields, ""


def ffprobe(path):
    code, out, _ = run(["ffprobe", "-v", "error", "-show_streams", "-show_format",
                        "-of", "json", path])
    return json.loads(out) if code == 0 else None


def smf_length_ms(path):
    """The length of a Standard MIDI File: mido when it is there, else our own reading of the
    tracks' delta times and the tempo map."""
    try:
        import mido
        return mido.MidiFile(path).length * 1000
    except ImportError:
        pass
    data = open(path, "rb").read()
    division = int.from_bytes(data[12:14], "big")
    at, events = 14, []
    while at + 8 <= len(data) and data[at:at + 4] == b"MTrk":
        size = int.from_bytes(data[at + 4:at + 8], "big")
        track, i, tick, status = data[at + 8:at + 8 + size], 0, 0, 0
        while i < len(track):
            delta = 0
            while True:
                b = track[i]
                i += 1
                delta = (delta << 7) | (b & 0x7F)
                if b < 0x80:
                    break
            tick += delta
            if track[i] >= 0x80:
                status = track[i]
                i += 1
            if status == 0xFF:
                kind, i = track[i], i + 1
                length = 0
                while True:
                    b = track[i]
                    i += 1
                    length = (length << 7) | (b & 0x7F)
                    if b < 0x80:
                        break
                if kind == 0x51:
                    events.append((tick, int.from_bytes(track[i:i + 3], "big")))
                i += length
            elif status in (0xF0, 0xF7):
                length = 0
                while True:
                    b = track[i]
                    i += 1
                    length = (length << 7) | (b & 0x7F)
                    if b < 0x80:
                        break
                i += length
            else:
                i += 1 if (status & 0xF0) in (0xC0, 0xD0) else 2
        events.append((tick, None))
        at += 8 + size
    ms, last, tempo = 0.0, 0, 500000
    end = max(t for t, _ in events)
    for t, value in sorted(events, key=lambda e: e[0]):
        ms += (t - last) * tempo / division / 1000
        last = t
        if value:
            tempo = value
    return ms + (end - last) * tempo / division / 1000


try:
    import mido  # noqa: F401

    MIDI_PEER = "mido"
except ImportError:
    MIDI_PEER = "the SMF reader"


def openmpt_length_ms(path):
    code, out, _ = run(["openmpt123", "--info", path])
    m = re.search(r"Duration\.*: (?:(\d+):)?(\d+):(\d+(?:\.\d+)?)", out)
    if code != 0 or not m:
        return None
    return ((int(m.group(1) or 0) * 60 + int(m.group(2))) * 60 + float(m.group(3))) * 1000


class Recorder:
    """The private PulseAudio's monitor, recorded while something plays."""

    def __init__(self, path):
        self.path = path
        self.out = open(path, "wb")
        self.proc = subprocess.Popen(["parec", "-d", SINK + ".monitor", "--raw",
                                      "--format=s16le", "--rate=44100", "--channels=2",
                                      "--latency-msec=20"],
                                     stdout=self.out, stderr=subprocess.DEVNULL)
        # Recording runs once the first 10 ms have arrived.
        for _ in range(300):
            if os.path.getsize(path) > 4 * 441:
                break
            time.sleep(0.01)

    def stop(self):
        time.sleep(0.3)
        self.proc.terminate()
        self.proc.wait()
        self.out.close()
        samples = array.array("h")
        with open(self.path, "rb") as f:
            data = f.read()
        samples.frombytes(data[:len(data) // 2 * 2])
        return max((abs(s) for s in samples), default=0)


def check_audio(path, scratch):
    probe = ffprobe(path)
    if not probe or not probe.get("streams"):
        return ["ffprobe cannot read it"], 0
    stream = next(s for s in probe["streams"] if s.get("codec_type") == "audio")
    theirs_ms = float(probe["format"].get("duration") or stream.get("duration") or 0) * 1000
    info, why = kolvo_info(path)
    if info is None:
        return ["kolvo-cli info: " + why], 0
    problems, agreed = [], 0
    ours_ms = int(info.get("length", "0 ms").split()[0])
    if close(ours_ms, theirs_ms, 60):
        agreed += 1
    else:
        problems.append("length %d ms, ffprobe %.0f ms" % (ours_ms, theirs_ms))
    text = info.get("info", "")
    if channels_name(stream["channels"]) in text:
        agreed += 1
    else:
        problems.append("channels: %r, ffprobe %d" % (text, stream["channels"]))
    codec = stream["codec_name"]
    if codec.startswith("pcm_") and codec not in ("pcm_mulaw", "pcm_alaw"):
        bits = int(stream.get("bits_per_raw_sample") or stream.get("bits_per_sample") or 0)
        if " %d bit" % bits in text:
            agreed += 1
        else:
            problems.append("sample width: %r, ffprobe %d bit" % (text, bits))
    if codec not in ("mp1", "mp2", "mp3") and "MPEG" in text:
        problems.append("a %s file described as MPEG: %r" % (codec, text))
    tags = {k.lower(): v for k, v in {**stream.get("tags", {}),
                                     **probe["format"].get("tags", {})}.items()}
    # Song names carry tags for MPEG audio and the compressed kinds; WAVE, AIFF and AU songs
    # are named by their file names, as designed.
    if (tags.get("title") or tags.get("artist")) and codec in TAGGED_CODECS:
        _, name, _ = run([CLI, "name", path, "--tags"])
        wanted = [tags[k] for k in ("title", "artist") if tags.get(k)]
        if all(w in name for w in wanted):
            agreed += 1
        else:
            problems.append("name %r, ffprobe's tags %r" % (name.strip(), wanted))
    if 100 <= theirs_ms <= 5000:
        # A tenth of a second can slip past a recorder that started late: one more try.
        for _ in range(2):
            recorder = Recorder(os.path.join(scratch, "heard.raw"))
            code, _, err = run([CLI, "play", path], timeout=theirs_ms / 1000 + 15)
            peak = recorder.stop()
            if code != 0 or peak > 200:
                break
        if code == 0 and peak > 200:
            agreed += 1
        else:
            problems.append("play: exit %d, peak %d at the sink %s" % (code, peak, err.strip()))
    return problems, agreed


def check_length(path, theirs_ms, peer):
    if theirs_ms is None:
        return [peer + " cannot read it"], 0
    info, why = kolvo_info(path)
    if info is None:
        return ["kolvo-cli info: " + why], 0
    ours_ms = int(info.get("length", "0 ms").split()[0])
    if close(ours_ms, theirs_ms, 100):
        return [], 1
    return ["length %d ms, %s %.0f ms" % (ours_ms, peer, theirs_ms)], 0


def check_karaoke_words(path):
    """A .kar file's lines as kolvo-cli karaoke shows them against mido's reading of the .kar
    convention: the text events of the track with most of them, "@" lines left out, a line
    begun by a text starting with "\\" or "/"."""
    try:
        import mido
        song = mido.MidiFile(path)
    except ImportError:
        return [], 0
    except Exception as e:  # noqa: BLE001 - mido refuses what it cannot read
        return ["mido cannot read it: %s" % e], 0
    words = max(song.tracks, key=lambda t: sum(1 for m in t if m.type == "text"))
    theirs, line = [], None
    for m in words:
        if m.type != "text" or m.text.startswith("@"):
            continue
        if line is None or m.text[:1] in "\\/":
            if line is not None:
                theirs.append(line.strip())
            line = m.text.lstrip("\\/")
        else:
            line += m.text
    if line is not None:
        theirs.append(line.strip())
    code, out, err = run([CLI, "karaoke", path])
    if code != 0:
        return ["kolvo-cli karaoke: " + (err.strip() or "exit %d" % code)], 0
    ours = [m.group(1).strip() for m in re.finditer(r'^\S+ line \d+(?: new page)? "(.*)"$', out,
                                                       re.M)]
    if ours == theirs:
        return [], 1
    return ["karaoke lines %r, mido %r" % (ours[:4], theirs[:4])], 0


FRAME_MEAN_LEVELS = 4.0
FRAME_PSNR_DB = 35.0
FRAMES = []  # (file, seconds, frame number, agreed, mean differences, PSNR)


def rgb24(args):
    """One picture decoded by ffmpeg as packed RGB, or nothing."""
    try:
        p = subprocess.run(["ffmpeg", "-v", "error"] + args +
                           ["-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                           capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        return b""
    return p.stdout if p.returncode == 0 else b""


def picture_difference(ours, theirs):
    """The mean absolute difference of each RGB channel, and the PSNR over all of them."""
    pixels = len(ours) // 3
    means = [sum(abs(a - b) for a, b in zip(ours[c::3], theirs[c::3])) / pixels for c in range(3)]
    squares = sum((a - b) * (a - b) for a, b in zip(ours, theirs)) / len(ours)
    psnr = 10 * math.log10(255 * 255 / squares) if squares else float("inf")
    return means, psnr


def check_frame(path, seconds, number, scratch):
    bmp = os.path.join(scratch, "frame.bmp")
    if os.path.exists(bmp):
        os.remove(bmp)
    code, _, err = run([CLI, "video", "frame", path, "%.3f" % seconds, bmp], timeout=60)
    if code != 0:
        FRAMES.append((path, seconds, number, False, [], None))
        return "video frame at %.3f s: %s" % (seconds, (err.strip().splitlines() or ["failed"])[-1])
    ours = rgb24(["-i", bmp])
    theirs = rgb24(["-i", path, "-map", "0:v:0", "-vf", "select=eq(n\\,%d)" % number])
    if not ours or len(ours) != len(theirs):
        FRAMES.append((path, seconds, number, False, [], None))
        return "video frame at %.3f s: %d bytes of RGB, ffmpeg's frame %d %d bytes" % (
            seconds, len(ours), number, len(theirs))
    means, psnr = picture_difference(ours, theirs)
    agreed = psnr >= FRAME_PSNR_DB and max(means) <= FRAME_MEAN_LEVELS
    FRAMES.append((path, seconds, number, agreed, means, psnr))
    if agreed:
        return None
    return "video frame at %.3f s against ffmpeg's frame %d: mean difference %s, PSNR %.1f dB" % (
        seconds, number, "/".join("%.1f" % m for m in means), psnr)


def counted_frames(path):
    code, out, _ = run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                        "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path])
    try:
        return int(out.strip().split(",")[0]) if code == 0 else 0
    except ValueError:
        return 0


def check_video(path, scratch):
    probe = ffprobe(path)
    video = next((s for s in (probe or {}).get("streams", []) if s["codec_type"] == "video"), None)
    if not video:
        return ["ffprobe finds no picture"], 0
    problems, agreed = [], 0
    num, den = (int(x) for x in video.get("r_frame_rate", "0/1").split("/"))
    fps = num / den if num and den else 0
    frames = counted_frames(path)
    elementary = probe["format"].get("format_name") == "mpegvideo"
    info, why = kolvo_info(path)
    if info is None:
        problems.append("kolvo-cli info: " + why)
    else:
        size = "%d x %d" % (video["width"], video["height"])
        if size in info.get("info", ""):
            agreed += 1
        else:
            problems.append("picture size: %r, ffprobe %s" % (info.get("info", ""), size))
        if elementary and fps:
            theirs_ms, peer = frames / fps * 1000, "ffprobe's %d frames" % frames
        else:
            theirs_ms, peer = float(probe["format"].get("duration") or 0) * 1000, "ffprobe"
        ours_ms = int(info.get("length", "0 ms").split()[0])
        if close(ours_ms, theirs_ms, 100):
            agreed += 1
        else:
            problems.append("length %d ms, %s %.0f ms" % (ours_ms, peer, theirs_ms))
    # The RealVideo engine has no Capture (its family's designed calls have none), so a
    # RealMedia film gives no picture to compare.
    if os.path.splitext(path)[1].lower() in (".rm", ".ram", ".rmvb"):
        return problems, agreed
    picks = [(0.0, 0)]
    one_second = round(fps)
    program_stream = "mpeg" in probe["format"].get("format_name", "").split(",")
    if fps and frames > one_second + 1 and not program_stream:
        picks.append(((one_second + 0.5) / fps, one_second))
    for seconds, number in picks:
        problem = check_frame(path, seconds, number, scratch)
        if problem:
            problems.append(problem)
        else:
            agreed += 1
    return problems, agreed


REPORT = []


def say(line=""):
    print(line)
    REPORT.append(line)


def main():
    if os.environ.get("KOLVO_REAL_MEDIA_RUN") != "1":
        say("real media: skipped (make test-real runs it)")
        return SKIP
    tool = os.path.join(SOURCE, "tools", "real-media")
    code, out, err = run([tool, "list"])
    entries = [line.split("\t") for line in out.splitlines() if line]
    if code != 0 or not entries or not all(os.path.isfile(e[0]) for e in entries):
        say("real media: skipped, the files are not fetched (tools/real-media fetch)")
        return SKIP
    scratch = os.path.join(os.environ.get("XDG_RUNTIME_DIR", "/tmp"), "real-media")
    os.makedirs(scratch, exist_ok=True)
    started = time.monotonic()
    results = []
    for path, kind, expected in entries:
        if kind == "audio":
            problems, agreed = check_audio(path, scratch)
        elif kind == "midi":
            problems, agreed = check_length(path, smf_length_ms(path), MIDI_PEER)
            if path.lower().endswith(".kar"):
                more, also = check_karaoke_words(path)
                problems, agreed = problems + more, agreed + also
        elif kind == "module":
            problems, agreed = check_length(path, openmpt_length_ms(path), "openmpt123")
        else:
            problems, agreed = check_video(path, scratch)
        passed = not problems
        if expected == "ok":
            verdict = "ok" if passed else "FAIL"
        else:
            verdict = "now passes (its mark can go)" if passed else "expected failure"
        results.append((path, kind, expected, verdict, problems, agreed))
        label = {"ok": "ok", "FAIL": "FAIL", "expected failure": "xfail"}.get(verdict, "XPASS")
        say("%-6s %-6s %s" % (label, kind, os.path.basename(path)))
        for p in problems:
            say("              " + p)
    elapsed = time.monotonic() - started

    failed = [r for r in results if r[3] == "FAIL"]
    xfail = [r for r in results if r[3] == "expected failure"]
    xpass = [r for r in results if r[3].startswith("now passes")]
    say()
    say("Real media summary")
    say("  files: %d (%s)" % (len(results), ", ".join(
        "%d %s" % (sum(1 for r in results if r[1] == k), k)
        for k in ("audio", "midi", "module", "video"))))
    say("  peers agreeing: %d checks; files agreeing in every check: %d" % (
        sum(r[5] for r in results), sum(1 for r in results if not r[4])))
    compared = [f for f in FRAMES if f[5] is not None]
    if compared:
        worst = min(compared, key=lambda f: f[5])
        say("  pictures against ffmpeg's frames: %d of %d agree (mean difference <= %g a channel,"
            " PSNR >= %g dB); lowest PSNR %.1f dB (%s at %.3f s)" % (
                sum(1 for f in FRAMES if f[3]), len(FRAMES), FRAME_MEAN_LEVELS, FRAME_PSNR_DB,
                worst[5], os.path.basename(worst[0]), worst[1]))
    say("  expected failures: %d" % len(xfail))
    for issue in sorted({r[2] for r in xfail}):
        say("    %d %s" % (sum(1 for r in xfail if r[2] == issue),
                             ISSUES.get(issue, "by issue " + issue)))
    for r in xpass:
        say("  now passing, its expected failure (%s) can go: %s" % (r[2], r[0]))
    for r in failed:
        say("  FAILED: %s" % r[0])
    say("  run time: %.1f s" % elapsed)
    say("%d passed, %d failed" % (len(results) - len(failed) - len(xfail), len(failed)))
    if os.environ.get("KOLVO_REAL_MEDIA_REPORT"):
        with open(os.environ["KOLVO_REAL_MEDIA_REPORT"], "w") as f:
            f.write("\n".join(REPORT) + "\n")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
