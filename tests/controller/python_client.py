"""An outside program in Python: loads the controller library through ctypes and downloads a
file to the coordinator simulator.

Usage: python_client.py LIB ADDRESS PORT WORKDIR"""
import ctypes
import sys
import time

lib_path, address, port, work = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
lib = ctypes.CDLL(lib_path)
H = ctypes.c_void_p
lib.ControllerClassNew.restype = H
lib.ControllerClassDelete.argtypes = [H]
lib.ControllerOpenTCP.argtypes = [H, ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
lib.ControllerClose.argtypes = [H, ctypes.c_int]
lib.ControllerRead.argtypes = [H, ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)]
lib.ControllerWrite.argtypes = [H, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]

h = lib.ControllerClassNew()
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
