#!/usr/bin/env python3
"""Writes the committed hostile import files too large or binary to write by hand, each shaped to
crash, exhaust or stall a parser (the small COLLADA and PLY ones beside them are written directly)."""
import base64
import json
import os
import struct

TRIANGLE = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0)


def gltf(nodes=None, data=TRIANGLE):
    uri = "data:application/octet-stream;base64," + base64.b64encode(data).decode()
    return {"asset": {"version": "2.0"}, "buffers": [{"byteLength": len(data), "uri": uri}],
            "bufferViews": [{"buffer": 0, "byteLength": 36}],
            "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                           "min": [0, 0, 0], "max": [1, 1, 0]}],
            "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
            "nodes": nodes or [{"mesh": 0}], "scenes": [{"nodes": [0]}], "scene": 0}


def glb(text, json_length=None):
    body = text.encode() + b" " * (-len(text) % 4)
    chunk = struct.pack("<II", len(body) if json_length is None else json_length, 0x4E4F534A) + body
    return struct.pack("<III", 0x46546C67, 2, 12 + len(chunk)) + chunk


def sparse():
    # A sparse accessor replacing three positions from a buffer view that holds one, at the buffer's end.
    document = gltf(data=TRIANGLE + struct.pack("<3I", 0, 1, 2) + struct.pack("<3f", 5, 5, 5))
    document["bufferViews"] += [{"buffer": 0, "byteOffset": 36, "byteLength": 12},
                                {"buffer": 0, "byteOffset": 48, "byteLength": 12}]
    document["accessors"][0]["sparse"] = {"count": 3, "indices": {"bufferView": 1, "componentType": 5125},
                                          "values": {"bufferView": 2}}
    return document


def compact(document):
    return json.dumps(document, separators=(",", ":"))


# Arrays nested 200,000 deep, never closed: a recursive parser runs out of stack.
DEEP_JSON = '{"asset":{"version":"2.0"},"extras":' + "[" * 200000
PLY_FLOAT_COUNT = ("ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                   "property float z\nelement face 1\nproperty list float int vertex_index\nend_header\n")
CASES = {
    "deep_json.gltf": DEEP_JSON,
    "deep_json.glb": glb(DEEP_JSON),
    # 25,000 nodes, each the only child of the one before: deeper than a recursive walk's stack.
    "node_chain.gltf": compact(gltf([{"children": [i + 1]} for i in range(24999)] + [{"mesh": 0}])),
    # 40 levels, each node listing the next one twice: 2^40 paths to the triangle.
    "tree_bomb.gltf": compact(gltf([{"children": [i + 1, i + 1]} for i in range(40)] + [{"mesh": 0}])),
    "sparse.gltf": compact(sparse()),
    # The JSON chunk says it is 0xfffffff0 bytes long.
    "json_length.glb": glb(compact(gltf()), json_length=0xFFFFFFF0),
    # A binary face list whose count is a float, and NaN.
    "nan_count.ply": PLY_FLOAT_COUNT.encode() + TRIANGLE + struct.pack("<I3i", 0x7FC00000, 0, 1, 2),
    # One face of 32,000 corners around a square: seconds of triangulation from 64 KB.
    "slow_polygon.obj": "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf " + " ".join(str(i % 4 + 1) for i in range(32000)) + "\n",
}

if __name__ == "__main__":
    for name, content in CASES.items():
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as out:
            out.write(content.encode() if isinstance(content, str) else content)
