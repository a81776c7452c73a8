#!/usr/bin/env python3
"""The game link's Wireshark dissector read back with tshark. `crafted DISSECTOR`: a capture written here byte by
byte. `live DISSECTOR LINKCONSOLE`: two linkconsole processes captured on loopback in a network namespace of the
test's own. Exits 77 (skipped), saying why, when tshark, dumpcap or a network namespace is missing."""
import os, shutil, signal, socket, struct, subprocess, sys, tempfile, time

FIELDS = ["code", "subcode", "request", "length", "sequence", "class", "announce.counter", "announce.host"]


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(77)


def read_fields(dissector, capture, first_fields, prefs=()):
    """Per frame holding link messages: its fields' texts (a field's values in one frame joined by commas)."""
    command = ["tshark", "-n", "-X", "lua_script:" + dissector, "-r", capture, "-Y", "tavik_link", "-T", "fields",
               "-E", "separator=|"] + [a for p in prefs for a in ("-o", p)]
    for field in first_fields + ["tavik_link." + f for f in FIELDS] + ["_ws.expert.message"]:
        command += ["-e", field]
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    assert done.returncode == 0 and "lua" not in done.stderr.lower(), done.stderr
    return done.stdout.splitlines()


def message(code, subcode, payload=b"", sequence=0, length=None):
    return struct.pack("<BBH", code, subcode, length or len(payload) + 8) + payload + struct.pack("<I", sequence)


def crafted(dissector):
    next_seq = {}

    def packet(protocol, source, target, data):  # raw IPv4 on loopback, checksums 0 (Wireshark does not check)
        if protocol == 6:
            seq = next_seq.get(source, 1000)
            next_seq[source] = seq + len(data)
            header = struct.pack("!HHIIBBHHH", source, target, seq, next_seq.get(target, 1000), 0x50, 0x18, 65535, 0, 0)
        else:
            header = struct.pack("!HHHH", source, target, 8 + len(data), 0)
        ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(header) + len(data), 0, 0, 64, protocol, 0,
                         b"\x7f\0\0\x01", b"\x7f\0\0\x01") + header + data
        return struct.pack("<IIII", 0, 0, len(ip), len(ip)) + ip

    m1, m3 = message(130, 1, b"abc", 1), message(131, 0, bytes(range(30)), 3)
    packets = [
        packet(6, 40000, 5510, m1[:3]),  # even the length field is cut
        packet(6, 40000, 5510, m1[3:] + message(224, 4, b"", 2) + m3[:20]),
        packet(6, 40000, 5510, m3[20:]),
        packet(6, 5510, 40000, message(150, 2, b"", 7) + message(141, 0, b"junk", 0, length=3)),
        packet(6, 5510, 40000, message(151, 0, b"", 8) + message(142, 0, b"", 0, length=5000)),
        packet(17, 5511, 5510, message(237, 5, b"gamepc".ljust(64, b"\0"), 0)),
        packet(17, 5510, 5511, message(239, 0, b"", 1)),
        packet(17, 5510, 5511, message(165, 2, b"\1\2\3\4", 2) + b"xx"),
        packet(17, 5510, 5511, message(166, 0, b"\0" * 8, 3, length=30)),
        packet(17, 5511, 5510, message(237, 6, b"n" * 64, 0)),  # a name that fills the field has no NUL
    ]
    unframed = "Length %d cannot frame a message (8 to 1608): the receiver discards the stream bytes it holds"
    # frame | code | subcode | request | length | sequence | class | counter | host | expert messages
    expected = [
        "2|130,224|1|4|11,8|1,2|0,0|||",
        "3|131|0||38|3|0|||",
        "4|150,141|2,0||8,3|7|0|||" + unframed % 3,
        "5|151,142|0,0||8,5000|8|0|||" + unframed % 5000,  # the next segment starts afresh
        "6|237|||72|0||5|gamepc|",
        "7|239|0||8|1|1|||",
        "8|165|2||12|2|1|||2 bytes after the message: the receiver ignores them",
        "9|166|0||30|||||Length 30 runs past the datagram's 16 bytes: the receiver drops it",
        "10|237|||72|0||6|" + "n" * 64 + "|",
    ]
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "crafted.pcap")
        with open(path, "wb") as out:
            out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101) + b"".join(packets))
        got = read_fields(dissector, path, ["frame.number"])
    assert got == expected, "\n".join(["got:"] + got + ["expected:"] + expected)


def wait_for(condition, what, seconds=10):
    end = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < end, "timed out waiting for " + what
        time.sleep(0.05)


def live_in_namespace(dissector, program):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    socket.sethostname("localhost")  # the slave announces itself to its own name: keep that on loopback
    folder = tempfile.mkdtemp()
    capture = os.path.join(folder, "live.pcapng")
    dumpcap = subprocess.Popen(["dumpcap", "-q", "-i", "lo", "-f", "udp or tcp", "-w", capture],
                               stderr=subprocess.PIPE, text=True)
    assert "Capturing on" in dumpcap.stderr.readline()
    output = lambda name: open(os.path.join(folder, name)).read()
    start = lambda name, *args: subprocess.Popen([program, "e", *args], stdin=subprocess.PIPE,
                                                 stdout=open(os.path.join(folder, name), "w"))

    def keys(console, pressed, peer, received):  # waits until the peer has received them all
        console.stdin.write(pressed.encode())
        console.stdin.flush()
        wait_for(lambda: output(peer).count("received 8 bytes") == received, peer + " to receive " + pressed)

    slave = start("slave")
    wait_for(lambda: "slave waiting" in output("slave"), "the slave")
    time.sleep(2.2)  # while nobody is connected the slave announces itself once a second
    master = start("master", "127.0.0.1")
    wait_for(lambda: any(r.split()[3] == "01" and ":22B1" in r for r in open("/proc/net/tcp").readlines()[1:]),
             "the master to connect on port 8881 (22B1)")
    keys(master, "ttt", "slave", 3)
    keys(slave, "tu", "master", 2)
    keys(master, "u", "slave", 4)
    for console in (master, slave):
        console.communicate(b"x", timeout=10)
    dumpcap.send_signal(signal.SIGINT)
    dumpcap.communicate(timeout=10)
    rows = [row.split("|") for row in read_fields(dissector, capture, ["tcp.srcport", "udp.srcport"],
                                                   ["tavik_link.port:8881", "tavik_link.datagram_codes:144-191,239"])]
    shutil.rmtree(folder)
    # tcp port | udp port | code | subcode | request | length | sequence | class | counter | host | expert
    announcements = [row[:10] for row in rows if row[2] == "237"]
    assert announcements == [["", "8882", "237", "", "", "72", "0", "", str(n), "localhost"]
                             for n in range(1, len(announcements) + 1)] and announcements, rows
    # Stream messages may share a segment, and a segment's messages share a row: one tuple per message.
    sent = sorted((row[0] or row[1], *values) for row in rows if row[2] != "237"
                  for values in zip(*(row[i].split(",") for i in (2, 3, 5, 6, 7))))
    master_port = next(row[0] for row in rows if row[0] not in ("", "8881"))
    expected = sorted([(master_port, "130", "0", "8", str(seq), "0") for seq in (1, 2, 3)] +
                      [("8881", "130", "0", "8", "1", "0"), ("8882", "153", "0", "8", "1", "1"),
                       ("8881", "153", "0", "8", "1", "1")])
    assert sent == expected and not any(row[10] for row in rows), "got %s, expected %s" % (rows, expected)


def live(dissector, program):
    if not shutil.which("dumpcap"):
        skip("dumpcap is not installed (Debian package wireshark-common)")
    if subprocess.run(["unshare", "-rnu", "true"], capture_output=True, check=False).returncode != 0:
        skip("this system allows no private network namespace (unshare -rnu), so there is nothing to capture")
    os.execvp("unshare", ["unshare", "-rnu", sys.executable, __file__, "live-inside", dissector, program])


if __name__ == "__main__":
    if not shutil.which("tshark"):
        skip("tshark is not installed")
    {"crafted": crafted, "live": live, "live-inside": live_in_namespace}[sys.argv[1]](*sys.argv[2:])
    print("passed")
