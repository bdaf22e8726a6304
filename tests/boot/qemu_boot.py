"""Runs a disk image in QEMU (SeaBIOS, no display, no network) and collects what
the guest wrote to COM1. Time is bounded; keys can be typed through the monitor."""
import os
import socket
import subprocess
import time

PASS_STATUS = 99   # the payload writes 31h to the isa-debug-exit port: (0x31 << 1) | 1


def run(disk, workdir, bus='ide', keys='', timeout=30, wait_for=None):
    """Boots `disk`; returns (exit status or None when stopped, serial text).
    bus: 'ide' or 'usb'. keys: QEMU key names typed repeatedly until the guest is done.
    wait_for: a text; once the serial output holds it QEMU is stopped (status None)."""
    serial = os.path.join(workdir, 'serial.txt')
    monitor = os.path.join(workdir, 'monitor.sock')
    for path in (serial, monitor):
        if os.path.exists(path):
            os.remove(path)
    cmd = ['qemu-system-i386', '-M', 'pc,graphics=off', '-display', 'none', '-net', 'none',
           '-m', '64', '-no-reboot', '-boot', 'menu=off',
           '-serial', 'file:' + serial,
           '-device', 'isa-debug-exit,iobase=0xf4,iosize=0x04',
           '-monitor', 'unix:%s,server=on,wait=off' % monitor]
    if bus == 'usb':
        cmd += ['-drive', 'if=none,id=stick,format=raw,file=' + disk,
                '-device', 'qemu-xhci', '-device', 'usb-storage,drive=stick,bootindex=0']
    else:
        cmd += ['-drive', 'if=ide,index=0,format=raw,file=' + disk]
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + timeout
    status = None
    sock = None
    try:
        while time.monotonic() < deadline:
            try:
                status = proc.wait(timeout=0.2)
                break
            except subprocess.TimeoutExpired:
                pass
            if keys:
                sock = sock or _connect(monitor)
                if sock:
                    for key in keys.split():
                        sock.sendall(b'sendkey %s\n' % key.encode())
            if wait_for and wait_for in _read(serial):
                break
    finally:
        if sock:
            sock.close()
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    return status, _read(serial)


def _connect(path):
    try:
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(path)
        return sock
    except OSError:
        return None


def _read(path):
    try:
        with open(path, 'rb') as f:
            return f.read().decode('latin-1')
    except FileNotFoundError:
        return ''
