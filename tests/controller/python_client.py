"""An outside program in Python: loads the controller library through ctypes and downloads a
file to the coordinator simulator.

Usage: python_client.py LIB ADDRESS PORT"""
import ctypes
import sys
import time

lib_path, address, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
lib = ctypes.CDLL(lib_path)
lib.ControllerClassNew.restype = ctypes.c_void_p
h = ctypes.c_void_p(lib.ControllerClassNew())  # passed as a pointer, not as an int
assert lib.ControllerOpenTCP(h, address.encode(), port, 1) == 1
frame = b"\x01SD:py.plt\x02hello\x03"
assert lib.ControllerWrite(h, 0, frame, len(frame)) == 1
reply, buf, end = b"", ctypes.create_string_buffer(256), time.time() + 5
while not reply.endswith(b"\x03") and time.time() < end:
    n = ctypes.c_int(256)
    assert lib.ControllerRead(h, 0, buf, ctypes.byref(n)) == 1
    reply += buf.raw[:n.value]
    time.sleep(0.001)
assert reply.startswith(b"\x02CRC="), reply
lib.ControllerClose(h, -1)
lib.ControllerClassDelete(h)
print("python client ok")
