#!/usr/bin/python3
"""The bridge a plant engineer would write without zarnetd: every unit command
from the broker becomes one frame, written to the sign's line at once.

    naive_bridge.py BROKER_PORT SIGN LINE_HOST LINE_PORT

Subscribes to zarnet/SIGN/units/+/set and prints "ready" once subscribed. The
bench compares it with zarnetd on the same paced line.
"""
import socket
import struct
import sys

import paho.mqtt.client as mqtt


def unit_frame(unit, value, device=255):
    """One unit shown at once: start unit, count 1, the value high byte first."""
    payload = bytes([unit, 1]) + struct.pack(">I", value)
    length = len(payload) + 8
    body = bytes([length >> 8, length & 0xFF, device, 0xEE, 0x23]) + payload
    check = 0
    for byte in body:
        check ^= byte
    return b"\x02" + body + bytes([check, 0x03])


def main():
    broker_port, sign, host, port = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])
    line = socket.create_connection((host, port))
    line.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    prefix = "zarnet/%s/units/" % sign

    def on_connect(client, userdata, flags, rc):
        client.subscribe(prefix + "+/set", qos=1)

    def on_subscribe(client, userdata, mid, granted):
        print("ready", flush=True)

    def on_message(client, userdata, message):
        try:
            unit = int(message.topic[len(prefix):].split("/")[0])
            value = int(message.payload)
        except ValueError:
            return
        if 0 <= unit <= 255 and 0 <= value <= 0xFFFFFFFF:
            line.sendall(unit_frame(unit, value))

    client = mqtt.Client(client_id="naive-bridge")
    client.on_connect = on_connect
    client.on_subscribe = on_subscribe
    client.on_message = on_message
    client.connect("127.0.0.1", broker_port)
    client.loop_forever()


if __name__ == "__main__":
    main()
