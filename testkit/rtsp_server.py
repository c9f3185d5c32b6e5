#!/usr/bin/python3
"""A live RTSP source on 127.0.0.1 for playback tests: H.264 video and AAC audio at /live.

Usage: rtsp_server.py [--port N] [--max-seconds S] | --check
--check only tells (exit status 0, or 1 and the missing parts on stdout) whether the GStreamer
elements it needs are installed.
Port 0 (the default) lets the system pick one. The bound port is printed on stdout as
"PORT <n>" once the server listens and the media plays. The process ends on SIGTERM/SIGINT, when standard input
reaches end of file or its parent goes away (so nothing outlives a crashed test), and after
--max-seconds at the latest.
"""

import argparse
import os
import signal
import sys
import threading

try:
    import gi

    gi.require_version("Gst", "1.0")
    gi.require_version("GstRtsp", "1.0")
    gi.require_version("GstRtspServer", "1.0")
    from gi.repository import GLib, Gst, GstRtsp, GstRtspServer
except (ImportError, ValueError) as error:
    print("missing python3-gi or gir1.2-gst-rtsp-server-1.0: %s" % error, flush=True)
    sys.exit(1)

# Key frames every second so a client that joins late shows a picture quickly; AAC because
# libavformat's RTSP demuxer (used by libmpv and ffprobe) depacketizes MPEG4-GENERIC.
LAUNCH = (
    "( videotestsrc is-live=true pattern=smpte"
    " ! video/x-raw,width=320,height=180,framerate=25/1"
    " ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=25 bitrate=500"
    " ! video/x-h264,profile=baseline"
    " ! rtph264pay name=pay0 pt=96 config-interval=1"
    " audiotestsrc is-live=true wave=sine freq=440"
    " ! audioconvert ! audioresample ! audio/x-raw,rate=44100,channels=2"
    " ! avenc_aac ! rtpmp4gpay name=pay1 pt=97 )"
)

ELEMENTS = ["videotestsrc", "x264enc", "rtph264pay", "audiotestsrc", "audioconvert",
            "audioresample", "avenc_aac", "rtpmp4gpay"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--max-seconds", type=int, default=30 * 60)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    Gst.init(None)
    if args.check:
        missing = [name for name in ELEMENTS if Gst.ElementFactory.find(name) is None]
        if missing:
            print("missing GStreamer elements: " + " ".join(missing), flush=True)
            return 1
        return 0
    loop = GLib.MainLoop()
    parent = os.getppid()

    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(LAUNCH)
    factory.set_shared(True)
    server.get_mount_points().add_factory("/live", factory)
    if server.attach(None) == 0:
        print("ERROR cannot listen on 127.0.0.1:%d" % args.port, flush=True)
        return 1

    def stop(*_):
        loop.quit()
        return GLib.SOURCE_REMOVE

    def parent_alive():
        if os.getppid() != parent:
            loop.quit()
            return GLib.SOURCE_REMOVE
        return GLib.SOURCE_CONTINUE

    def stdin_event(fd, _condition):
        try:
            data = os.read(fd, 4096)
        except OSError:
            data = b""
        if not data:
            loop.quit()
            return GLib.SOURCE_REMOVE
        return GLib.SOURCE_CONTINUE

    GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGTERM, stop)
    GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGINT, stop)
    GLib.timeout_add(500, parent_alive)
    GLib.timeout_add_seconds(max(1, args.max_seconds), stop)
    GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, sys.stdin.fileno(),
                          GLib.IOCondition.IN | GLib.IOCondition.HUP | GLib.IOCondition.ERR,
                          stdin_event)

    port = server.get_bound_port()
    # The server holds the shared media from the start and never lets it go. Otherwise every
    # client that leaves after DESCRIBE takes it down, and one arriving meanwhile gets 503.
    _, url = GstRtsp.RTSPUrl.parse("rtsp://127.0.0.1:%d/live" % port)
    media = factory.construct(url)

    def prepare():
        # Blocks until the pipeline runs, which needs the main loop turning meanwhile.
        if media is not None and media.prepare(None):
            print("PORT %d" % port, flush=True)
        else:
            print("ERROR the media pipeline did not start", flush=True)
            GLib.idle_add(stop)

    threading.Thread(target=prepare, daemon=True).start()
    loop.run()
    # Streaming threads may still hold the interpreter; leave without waiting for them.
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
