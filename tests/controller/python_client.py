"""An outside program in Python: loads the controller library through ctypes, talks to the
coordinator simulator, then feeds random escape streams through the receive pump from a socket
of its own and checks the sorted bytes against a model of the demultiplexer.

Usage: python_client.py LIB ADDRESS PORT WORKDIR"""
import ctypes
import os
import random
import socket
import sys
import time

lib_path, address, port, work = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
lib = ctypes.CDLL(lib_path)
H = ctypes.c_void_p
lib.ControllerClassNew.restype = H
lib.ControllerClassDelete.argtypes = [H]
lib.ControllerOpenTCP.argtypes = [H, ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
lib.ControllerClose.argtypes = [H, ctypes.c_int]
lib.ControllerSetChannelMode.argtypes = [H, ctypes.c_int, ctypes.c_int]
lib.ControllerGetStatus.argtypes = [H]
lib.ControllerRead.argtypes = [H, ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)]
lib.ControllerWrite.argtypes = [H, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
lib.ControllerFloatToTms.argtypes = [H, ctypes.c_float]
lib.ControllerFloatToTms.restype = ctypes.c_uint32
lib.ControllerTmsToFloat.argtypes = [H, ctypes.c_uint32]
lib.ControllerTmsToFloat.restype = ctypes.c_float
lib.ControllerProgramLoad.argtypes = [H, ctypes.c_char_p, ctypes.c_void_p]
HOST = ctypes.CFUNCTYPE(ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint,
                        ctypes.c_size_t, ctypes.c_ssize_t)
lib.QelControllerSetHostCallback.argtypes = [H, HOST, ctypes.c_void_p]


def read_channel(h, ch, want, timeout=5.0):
    got = b""
    buf = ctypes.create_string_buffer(256)
    end = time.time() + timeout
    while len(got) < want and time.time() < end:
        n = ctypes.c_int(256)
        assert lib.ControllerRead(h, ch, buf, ctypes.byref(n)) == 1
        got += buf.raw[:n.value]
        if n.value == 0:
            time.sleep(0.001)
    return got


def against_simulator():
    assert lib.ControllerGetStatus(None) == 0
    h = lib.ControllerClassNew()
    assert lib.ControllerTmsToFloat(h, lib.ControllerFloatToTms(h, 0.375)) == 0.375
    assert lib.ControllerOpenTCP(h, address.encode(), port, 1) == 1
    progress = []

    @HOST
    def host(user, window, message, w, l):
        if message == 0x502:
            progress.append(w)
        return 1

    lib.QelControllerSetHostCallback(h, host, None)
    path = os.path.join(work, "PY.txt")
    with open(path, "wb") as f:
        f.write(b"line one\r\nline two\r\n")
    assert lib.ControllerProgramLoad(h, path.encode(), None) == 1
    assert progress and progress[-1] == 100, progress
    frame = b"\x01SD:py.plt\x02hello\x03"
    assert lib.ControllerWrite(h, 0, frame, len(frame)) == 1
    reply = read_channel(h, 0, 9)
    assert reply.startswith(b"\x02CRC="), reply
    lib.ControllerClose(h, -1)
    lib.ControllerClassDelete(h)


DIGITS = {ord("0"): 0, ord("5"): 5, ord("6"): 6, ord("7"): 7, ord("8"): 8, ord("9"): 9, ord("/"): -1}


def model(stream):
    """What each channel should receive from a stream in the multiplexed mode."""
    out = {c: bytearray() for c in DIGITS.values()}
    cur, esc = 0, False
    for b in stream:
        if esc:
            esc = False
            if b in DIGITS:
                cur = DIGITS[b]
            else:
                out[cur] += bytes([0x1B, b])
        elif b == 0x1B:
            esc = True
        else:
            out[cur].append(b)
    return out


def fuzz_receive_pump(rounds=30):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    h = lib.ControllerClassNew()
    assert lib.ControllerOpenTCP(h, b"127.0.0.1", listener.getsockname()[1], 1) == 1
    peer, _ = listener.accept()
    lib.ControllerSetChannelMode(h, 1, 0)
    hello = b""
    while len(hello) < 10:
        hello += peer.recv(10 - len(hello))
    assert hello == b"\x1b0\rMPE(1)\r"
    rng = random.Random(1234)
    alphabet = [0x1B] * 6 + list(DIGITS) + [ord("A"), ord("z"), 0x00, 0x0D, 0xFF, ord("1"), ord("4")]
    stream = bytearray()
    for _ in range(rounds):
        chunk = bytes(rng.choice(alphabet) for _ in range(rng.randint(1, 300)))
        stream += chunk
        peer.sendall(chunk)
    # a trailing switch to channel 0 and a marker close any escape left open
    peer.sendall(b"\x1b0#")
    stream += b"\x1b0#"
    expected = model(bytes(stream))
    got = {c: bytearray() for c in expected}
    end = time.time() + 10
    while time.time() < end and any(len(got[c]) < len(expected[c]) for c in got):
        for c in got:
            got[c] += read_channel(h, c, 0, 0)
            n = ctypes.c_int(256)
            buf = ctypes.create_string_buffer(256)
            lib.ControllerRead(h, c, buf, ctypes.byref(n))
            got[c] += buf.raw[:n.value]
    for c in expected:
        assert bytes(got[c]) == bytes(expected[c]), (c, bytes(got[c])[:80], bytes(expected[c])[:80])
    lib.ControllerClose(h, -1)
    lib.ControllerClassDelete(h)
    peer.close()
    listener.close()


against_simulator()
fuzz_receive_pump()
print("python client ok")
