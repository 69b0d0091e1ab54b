#!/usr/bin/env python3
"""Writes the hostile import corpus beside this script: small files of the
formats pqtool imports, each shaped to crash, exhaust or stall a parser
(unbounded recursion, counts and strides beyond the data, lengths near 4 GB,
node trees that multiply). Run it again after changing a case; the files are
committed so the tests need no Python."""
import base64
import json
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

TRIANGLE_DAE_GEOMETRY = """  <library_geometries>
    <geometry id="tri"><mesh>
      <source id="pos"><float_array id="pos-array" count="9">0 0 0 1 0 0 0 1 0</float_array>
        <technique_common><accessor source="#pos-array" count="3" stride="{stride}">
          <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
        </accessor></technique_common></source>
      <vertices id="verts"><input semantic="POSITION" source="#pos"/></vertices>
      <triangles count="{count}"><input semantic="VERTEX" source="#verts" offset="0"/><p>{indices}</p></triangles>
    </mesh></geometry>
  </library_geometries>
"""


def collada(body, stride=3, count=1, indices="0 1 2"):
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">\n'
            + TRIANGLE_DAE_GEOMETRY.format(stride=stride, count=count, indices=indices) + body +
            '  <scene><instance_visual_scene url="#scene"/></scene>\n</COLLADA>\n')


def scene(nodes):
    return ('  <library_visual_scenes><visual_scene id="scene">' + nodes +
            '</visual_scene></library_visual_scenes>\n')


TRIANGLE_NODE = '<node id="n"><instance_geometry url="#tri"/></node>'


def dae_self_instance():
    # A node that instances itself, reached from the scene.
    return collada('  <library_nodes><node id="loop"><instance_geometry url="#tri"/>'
                   '<instance_node url="#loop"/></node></library_nodes>\n' +
                   scene('<node id="root"><instance_node url="#loop"/></node>'))


def dae_huge_stride():
    # Three positions read with a stride far past the nine floats there are.
    return collada(scene(TRIANGLE_NODE), stride=1000000000)


def dae_p_list():
    # One byte of a triangle list changed: the count asks for a billion triangles.
    return collada(scene(TRIANGLE_NODE), count=1000000000, indices="0 1 2 0 1 2 0 1 2")


def gltf_buffer(data):
    return "data:application/octet-stream;base64," + base64.b64encode(data).decode()


def gltf_triangle(extra_nodes=None, root_nodes=None):
    """A glTF holding one triangle, with the given node list (default one node)."""
    positions = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0)
    document = {
        "asset": {"version": "2.0"},
        "buffers": [{"byteLength": len(positions), "uri": gltf_buffer(positions)}],
        "bufferViews": [{"buffer": 0, "byteLength": len(positions)}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                       "min": [0, 0, 0], "max": [1, 1, 0]}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
        "nodes": extra_nodes if extra_nodes is not None else [{"mesh": 0}],
        "scenes": [{"nodes": root_nodes if root_nodes is not None else [0]}],
        "scene": 0,
    }
    return document


def compact(document):
    return json.dumps(document, separators=(",", ":"))


DEEP = 200000


def deep_json():
    # Arrays nested 200,000 deep, never closed: a recursive parser runs out of stack.
    return '{"asset":{"version":"2.0"},"extras":' + "[" * DEEP


def glb(json_text, json_length=None, binary=b""):
    body = json_text.encode()
    body += b" " * (-len(body) % 4)
    chunks = struct.pack("<II", len(body) if json_length is None else json_length, 0x4E4F534A) + body
    if binary:
        binary += b"\0" * (-len(binary) % 4)
        chunks += struct.pack("<II", len(binary), 0x004E4942) + binary
    return struct.pack("<III", 0x46546C67, 2, 12 + len(chunks)) + chunks


def gltf_deep_json():
    return deep_json()


def glb_deep_json():
    return glb(deep_json())


def gltf_node_chain():
    # 25,000 nodes, each the only child of the one before: deeper than a
    # recursive walk's stack holds.
    count = 25000
    nodes = [{"children": [i + 1]} for i in range(count - 1)] + [{"mesh": 0}]
    return compact(gltf_triangle(nodes))


def gltf_tree_bomb():
    # 40 levels, each node listing the next one twice: 2^40 paths to the triangle.
    levels = 40
    nodes = [{"children": [i + 1, i + 1]} for i in range(levels)] + [{"mesh": 0}]
    return compact(gltf_triangle(nodes))


def gltf_sparse():
    # A sparse accessor that replaces three positions with values from a
    # buffer view holding only one, at the end of the buffer.
    data = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0) + struct.pack("<3I", 0, 1, 2) + struct.pack("<3f", 5, 5, 5)
    document = gltf_triangle()
    document["buffers"][0] = {"byteLength": len(data), "uri": gltf_buffer(data)}
    document["bufferViews"][0]["byteLength"] = 36
    document["bufferViews"] += [{"buffer": 0, "byteOffset": 36, "byteLength": 12},
                                {"buffer": 0, "byteOffset": 48, "byteLength": 12}]
    document["accessors"][0]["sparse"] = {
        "count": 3,
        "indices": {"bufferView": 1, "componentType": 5125},
        "values": {"bufferView": 2},
    }
    return compact(document)


def glb_json_length():
    # The JSON chunk says it is 0xfffffff0 bytes long.
    return glb(compact(gltf_triangle()), json_length=0xFFFFFFF0)


PLY_ASCII_HEADER = ("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                    "property float z\nelement face 2\nproperty list uchar int vertex_index\nend_header\n"
                    "0 0 0\n1 0 0\n0 1 0\n")


def ply_cut_faces():
    # Cut inside the face list.
    return PLY_ASCII_HEADER + "3 0 1 2\n3 0"


def ply_nul():
    return PLY_ASCII_HEADER + "3 0 1 2\n3 0\0 1 2\n"


def ply_nan_count():
    # A binary face list whose count is a float, and NaN.
    header = ("ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
              "property float z\nelement face 1\nproperty list float int vertex_index\nend_header\n")
    vertices = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0)
    return header.encode() + vertices + struct.pack("<I", 0x7FC00000) + struct.pack("<3i", 0, 1, 2)


def obj_slow_polygon():
    # One face of 32,000 corners around a square: seconds of triangulation
    # from 64 KB.
    return "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf " + " ".join(str(i % 4 + 1) for i in range(32000)) + "\n"


CASES = {
    "self_instance.dae": dae_self_instance,
    "huge_stride.dae": dae_huge_stride,
    "p_list.dae": dae_p_list,
    "deep_json.gltf": gltf_deep_json,
    "deep_json.glb": glb_deep_json,
    "node_chain.gltf": gltf_node_chain,
    "tree_bomb.gltf": gltf_tree_bomb,
    "sparse.gltf": gltf_sparse,
    "json_length.glb": glb_json_length,
    "cut_faces.ply": ply_cut_faces,
    "nul.ply": ply_nul,
    "nan_count.ply": ply_nan_count,
    "slow_polygon.obj": obj_slow_polygon,
}

if __name__ == "__main__":
    for name, make in CASES.items():
        content = make()
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(content.encode() if isinstance(content, str) else content)
