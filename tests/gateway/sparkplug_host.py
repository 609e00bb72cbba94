#!/usr/bin/python3
"""A Sparkplug B host application for the tests.

It compiles the payload schema itself (protoc, Python's protobuf), subscribes to
the namespace, and prints every message as one JSON line. It reads JSON lines on
its input and publishes them: {"ncmd": [metric, ...]}, {"dcmd": DEVICE, "metrics":
[metric, ...]} or {"state": true|false, "timestamp": MS}, where a metric is
{"name" or "alias", "datatype", "value"}.

usage: sparkplug_host.py PORT SCHEMA GROUP NODE HOST_ID
"""
import importlib
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

import paho.mqtt.client as mqtt

port, schema, group, node, host_id = sys.argv[1:6]
folder = tempfile.mkdtemp()
subprocess.run(["protoc", "-I", os.path.dirname(schema), "--python_out", folder, schema],
               check=True)
sys.path.insert(0, folder)
pb = importlib.import_module(os.path.splitext(os.path.basename(schema))[0] + "_pb2")

said = threading.Lock()


def say(record):
    with said:
        print(json.dumps(record), flush=True)


def value_of(metric):
    if metric.is_null:
        return None
    kind = metric.WhichOneof("value")
    return getattr(metric, kind) if kind else None


def on_message(client, userdata, message):
    parts = message.topic.split("/")
    record = {"topic": message.topic, "type": parts[2] if len(parts) > 2 else parts[1]}
    if message.topic.startswith("spBv1.0/STATE/"):
        return
    if len(parts) > 4:
        record["device"] = parts[4]
    payload = pb.Payload()
    try:
        payload.ParseFromString(message.payload)
    except Exception as error:  # a payload the schema cannot read is the test's finding
        record["error"] = str(error)
        say(record)
        return
    record["seq"] = payload.seq if payload.HasField("seq") else None
    record["timestamp"] = payload.timestamp if payload.HasField("timestamp") else None
    record["metrics"] = [{
        "name": m.name if m.HasField("name") else None,
        "alias": m.alias if m.HasField("alias") else None,
        "datatype": m.datatype if m.HasField("datatype") else None,
        "value": value_of(m),
        "null": m.is_null,
    } for m in payload.metrics]
    say(record)


def on_connect(client, userdata, flags, rc):
    client.subscribe("spBv1.0/%s/#" % group, qos=0)


def on_subscribe(client, userdata, mid, granted):
    say({"type": "ready"})


def metric_of(spec, out):
    if "name" in spec:
        out.name = spec["name"]
    if "alias" in spec:
        out.alias = spec["alias"]
    out.datatype = spec["datatype"]
    out.timestamp = int(time.time() * 1000)
    value = spec["value"]
    if out.datatype in (1, 2, 3, 5, 6, 7):
        out.int_value = value & 0xFFFFFFFF
    elif out.datatype in (4, 8):
        out.long_value = value & 0xFFFFFFFFFFFFFFFF
    elif out.datatype == 11:
        out.boolean_value = value
    else:
        out.string_value = value


def command(metrics):
    payload = pb.Payload()
    payload.timestamp = int(time.time() * 1000)
    for spec in metrics:
        metric_of(spec, payload.metrics.add())
    return payload.SerializeToString()


client = mqtt.Client(client_id="sparkplug-test-host")
client.on_connect = on_connect
client.on_subscribe = on_subscribe
client.on_message = on_message
client.connect("127.0.0.1", int(port))
client.loop_start()
for line in sys.stdin:
    order = json.loads(line)
    if "ncmd" in order:
        client.publish("spBv1.0/%s/NCMD/%s" % (group, node), command(order["ncmd"]), qos=0)
    elif "dcmd" in order:
        client.publish("spBv1.0/%s/DCMD/%s/%s" % (group, node, order["dcmd"]),
                       command(order["metrics"]), qos=0)
    elif "state" in order:
        state = {"online": order["state"], "timestamp": order["timestamp"]}
        client.publish("spBv1.0/STATE/" + host_id, json.dumps(state), qos=1, retain=True)
client.loop_stop()
