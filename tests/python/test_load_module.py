"""_kd_load_module: the lines of a load, keys and module UUIDs, every way a load fails, the
arguments, and Module handles."""

import gc
import inspect
import re

import pytest

from instance_support import LOGGER, create_info, logger_config
from kdpi._sys import Instance, Module, _kd_create_instance, _kd_load_module
from load_support import (
    ERROR,
    TRACE,
    add_lines,
    base,
    compiler,
    logged_instance,
    module_uuids,
    read_lines,
    storage,
)

READ_FAILED = "Failed to read compiled module storage header: "
LOAD_FAILED = "Failed to load compiled module: An unknown error occurred: "


# A module UUID: version 6, then the given node field.
V6_UUID = "[0-9a-f]{{8}}-[0-9a-f]{{4}}-6[0-9a-f]{{3}}-[0-9a-f]{{4}}-{node}"


def test_loading_twice_gives_two_handles_keys_and_uuids():
    instance, recorder = logged_instance(node_id=0x0A0B0C0D)
    data = storage("two_functions")
    first = _kd_load_module(instance, data)
    lines = recorder.take()
    (uuid,) = module_uuids(lines)
    assert lines == read_lines(
        len(data), 2, ["helper.kdasm", "main.kdasm"], 4, 0
    ) + add_lines(["helper", "main"], uuid, "1v1")

    second = _kd_load_module(instance=instance, module_data=data)
    lines = recorder.take()
    (second_uuid,) = module_uuids(lines)
    # The instance's registry now holds the stored types, so the second merge adds none.
    assert lines[3] == compiler(
        297, TRACE, "Merging type registry (4 types) into instance's registry (4 types)"
    )
    assert lines[4:] == add_lines(["helper", "main"], second_uuid, "2v1")

    assert type(first) is Module and type(second) is Module and first is not second
    for text in (uuid, second_uuid):
        # Version 6; the node id little-endian, then two zero bytes.
        assert re.fullmatch(V6_UUID.format(node="0d0c0b0a0000"), text)
    assert uuid < second_uuid  # time-ordered


def test_a_storage_loads_into_any_instance():
    data = storage("two_functions")
    for node_id in (0, 7):
        instance, recorder = logged_instance(node_id)
        _kd_load_module(instance, data)
        (uuid,) = module_uuids(recorder.take())
        assert re.fullmatch(V6_UUID.format(node=node_id.to_bytes(4, "little").hex() + "0000"), uuid)


@pytest.mark.parametrize(
    "name, files, stored_types, labels",
    [
        # An anonymous function using i64 undef, which follows its type into the instance.
        ("undef_operands", [], 1, ["@00000000-0000-0000-0000-000000000007"]),
        # Two map keys whose functions carry one UUID: both are checked, the later one stays.
        ("duplicate_function_uuid", [], 0, ["first", "second"]),
        # All 37 instructions, one function per family.
        ("every_family", ["families.kdasm"], 6, ["ints", "floats", "memory", "misc", "meta"]),
    ],
)
def test_modules_that_load(name, files, stored_types, labels):
    instance, recorder = logged_instance()
    data = storage(name)
    _kd_load_module(instance, data)
    lines = recorder.take()
    assert lines == read_lines(len(data), len(labels), files, stored_types, 0) + add_lines(
        labels, module_uuids(lines)[0], "1v1"
    )


def _storage_error_cases():
    valid = storage("two_functions")
    body = valid[len(b"\x7fKDMODIR=0.1.2\x00") :]
    return [
        ("short", b"\x7fKDMOD", "failed to fill whole buffer"),
        ("no requirement end", b"\x7fKDMODIR=0.1.2", "failed to fill whole buffer"),
        ("magic", b"\x7fKDMODIS=0.1.2\x00" + body, "Invalid magic bytes in compiled module storage"),
        (
            "requirement not UTF-8",
            b"\x7fKDMODIR=0.1.\xff\x00" + body,
            "Invalid UTF-8 in version requirement: invalid utf-8 sequence of 1 bytes from index 5",
        ),
        (
            "version",
            b"\x7fKDMODIR=0.1.3\x00" + body,
            "Incompatible compiled module storage version: required =0.1.3, found 0.1.2",
        ),
        ("nothing after the header", valid[: len(valid) - len(body)], "incomplete frame"),
        ("body cut short", valid[:-3], "incomplete frame"),
        # T_0 = i8, T_k = {T_(k-1), T_(k-1)}: T_30 would print 6.4 GB.
        (
            "a type longer than allowed",
            storage("doubling_registry"),
            "compiled module type registry holds a type whose text is longer than its storage "
            "size allows",
        ),
        # T_21 (13 MB) is allowed, but one instruction names it 31 times.
        (
            "types named more often than allowed",
            storage("doubling_named_often"),
            "compiled module names types in one place whose texts together are longer than its "
            "storage size allows",
        ),
    ]


@pytest.mark.parametrize("name, data, error", _storage_error_cases(), ids=lambda v: v if isinstance(v, str) else "")
def test_storage_errors(name, data, error):
    instance, recorder = logged_instance()
    with pytest.raises(RuntimeError) as info:
        _kd_load_module(instance, data)
    assert str(info.value) == LOAD_FAILED + READ_FAILED + error
    assert recorder.take() == [
        compiler(154, TRACE, f"Deserializing compiled module storage ({len(data)} bytes)"),
        compiler(174, ERROR, READ_FAILED + error),
    ]
    _still_loads_with_the_first_key(instance, recorder)


def _zstd_frame(prefix, zeros_mib):
    """One zstd frame holding `prefix` (a raw block) and then `zeros_mib` MiB of zero bytes
    (run-length blocks of 128 KiB, four bytes each): made by hand, with no compressor."""

    def block(kind, size, payload, last=False):
        return ((size << 3) | (kind << 1) | int(last)).to_bytes(3, "little") + payload

    # Magic; no checksum, content size or dictionary; a window of 2^17 bytes.
    frame = b"\x28\xb5\x2f\xfd\x00" + bytes([7 << 3]) + block(0, len(prefix), prefix)
    runs = zeros_mib * 8
    frame += b"".join(block(1, 1 << 17, b"\x00", last=i == runs - 1) for i in range(runs))
    return frame


def _u32(v):
    return v.to_bytes(4, "little")


_ONE_BLOCK = (  # no file names; one function with no name, parameters or return type; one block
    _u32(0) + _u32(1) + bytes(range(16)) * 2 + b"\x00" + _u32(0) + b"\x00" + _u32(1) + _u32(0) * 2
)
_TYPEREF = bytes(range(1, 17))


@pytest.mark.parametrize(
    "body",
    [
        # Each 32 zeros are an iadd.
        pytest.param(_ONE_BLOCK + _u32(2**32 - 1), id="block of 2^32-1 instructions"),
        # Each 5 zeros are the operand %0.
        pytest.param(
            _ONE_BLOCK + _u32(1) + b"\x19" + bytes(5) + _u32(2**32 - 1),
            id="invoke of 2^32-1 arguments",
        ),
        pytest.param(
            _ONE_BLOCK + _u32(1) + b"\x1a" + _u32(1) + _TYPEREF + _u32(2**32 - 1),
            id="phi of 2^32-1 pairs",
        ),
        pytest.param(
            _ONE_BLOCK + _u32(1) + b"\x18" + _u32(1) + _TYPEREF * 2 + bytes(5) + _u32(2**32 - 1),
            id="gep of 2^32-1 indices",
        ),
        pytest.param(_u32(2**32 - 1), id="2^32-1 file names"),
        pytest.param(_u32(1) + _u32(2**30), id="one file name of 1 GiB of NUL bytes"),
    ],
)
def test_a_body_that_decodes_to_far_more_than_its_storage_holds_is_refused(body):
    # 48 MiB of body in under two kilobytes of storage, whose decode budget is 65 MiB: every
    # shape costs a few times more than its bytes.
    data = b"\x7fKDMODIR=0.1.2\x00" + _zstd_frame(body, 48)
    assert len(data) < 4096
    instance, recorder = logged_instance()
    with pytest.raises(RuntimeError) as info:
        _kd_load_module(instance, data)
    refused = READ_FAILED + "compiled module body decodes to more than its storage size allows"
    assert str(info.value) == LOAD_FAILED + refused
    assert recorder.take() == [
        compiler(154, TRACE, f"Deserializing compiled module storage ({len(data)} bytes)"),
        compiler(174, ERROR, refused),
    ]
    _still_loads_with_the_first_key(instance, recorder)


def _still_loads_with_the_first_key(instance, recorder):
    _kd_load_module(instance, storage("two_functions"))
    assert recorder.take()[-1][4] == "ModuleContext inserted into InstanceContext with key ModuleKey(1v1)"


MERGE_ERROR = (
    "cannot merge type registry: unresolvable types (an element neither stored nor a wildcard, "
    "or a cycle): [{}]"
)
# The fixed Typerefs that kdinstr/tests/ir_builder.hpp's ty(n) makes.
def _ty(n):
    return f"10000000-0000-6000-0000-0000000000{n:02x}"


@pytest.mark.parametrize(
    "name, stored, unresolved",
    [
        ("unmergeable_registry", 2, [_ty(0x33)]),
        ("cyclic_registry", 2, [_ty(0x21), _ty(0x22)]),
    ],
)
def test_an_unmergeable_registry_is_refused_after_the_merge_line(name, stored, unresolved):
    instance, recorder = logged_instance()
    data = storage(name)
    with pytest.raises(RuntimeError) as info:
        _kd_load_module(instance, data)
    assert str(info.value) == LOAD_FAILED + MERGE_ERROR.format(", ".join(unresolved))
    assert recorder.take() == read_lines(len(data), 0, [], stored, 0)
    _still_loads_with_the_first_key(instance, recorder)


def test_a_module_that_fails_verification_is_refused_without_error_line():
    instance, recorder = logged_instance()
    data = storage("failing_verification")
    with pytest.raises(RuntimeError) as info:
        _kd_load_module(instance, data)
    assert str(info.value) == (
        "Failed to load compiled module: By convention, the entrypoint basic block of a function "
        "must have label `label_0`. No such basic block was found."
    )
    assert recorder.take() == read_lines(len(data), 1, [], 1, 0) + [
        base(209, TRACE, "Verifying module before adding to instance")
    ]
    _still_loads_with_the_first_key(instance, recorder)


def test_a_module_that_fails_its_type_check_is_refused_with_an_error_line():
    instance, recorder = logged_instance()
    data = storage("failing_type_check")
    mismatch = (
        "Type mismatch in instruction `%1: i16 = iadd.wrap %0, i32 1`: expected type `i16`, but "
        "found type `i32`."
    )
    with pytest.raises(RuntimeError) as info:
        _kd_load_module(instance, data)
    assert str(info.value) == "Failed to load compiled module: " + mismatch
    assert recorder.take() == read_lines(len(data), 2, [], 1, 0) + [
        base(209, TRACE, "Verifying module before adding to instance"),
        base(213, TRACE, "Type checking function 'fine'"),
        base(213, TRACE, "Type checking function 'mistyped'"),
        base(221, ERROR, "Type check failed for function 'mistyped': " + mismatch),
    ]
    _still_loads_with_the_first_key(instance, recorder)


class Bytes(bytes):
    pass


def test_arguments():
    instance = _kd_create_instance(create_info())
    data = storage("two_functions")
    assert type(_kd_load_module(instance, Bytes(data))) is Module
    assert type(_kd_load_module(module_data=data, instance=instance)) is Module
    module = _kd_load_module(instance, data)
    cases = [
        ((instance, bytearray(data)), {}, "argument 'module_data': 'bytearray' object is not an instance of 'bytes'"),
        ((instance, memoryview(data)), {}, "argument 'module_data': 'memoryview' object is not an instance of 'bytes'"),
        ((instance, "text"), {}, "argument 'module_data': 'str' object is not an instance of 'bytes'"),
        ((module, data), {}, "argument 'instance': 'Module' object is not an instance of 'Instance'"),
        ((data, instance), {}, "argument 'instance': 'bytes' object is not an instance of 'Instance'"),
        ((None, data), {}, "argument 'instance': 'NoneType' object is not an instance of 'Instance'"),
        ((instance,), {}, "_kd_load_module() missing 1 required positional argument: 'module_data'"),
        ((), {}, "_kd_load_module() missing 2 required positional arguments: 'instance' and 'module_data'"),
        ((instance, data, data), {}, "_kd_load_module() takes 2 positional arguments but 3 were given"),
        ((instance, data), {"module_data": data}, "_kd_load_module() got multiple values for argument 'module_data'"),
        ((instance, data), {"data": data}, "_kd_load_module() got an unexpected keyword argument 'data'"),
    ]  # fmt: skip
    for args, kwargs, message in cases:
        with pytest.raises(TypeError) as info:
            _kd_load_module(*args, **kwargs)
        assert str(info.value) == message


def test_signature_and_doc():
    assert str(inspect.signature(_kd_load_module)) == "(instance, module_data)"
    assert _kd_load_module.__doc__ == "Loads a compiled module into the given instance."


def test_a_module_handle_outlives_its_instance():
    records = []
    instance = _kd_create_instance(create_info([LOGGER], [logger_config(records.append)]))
    module = _kd_load_module(instance, storage("two_functions"))
    address = records[0]["message"].rsplit(" ", 1)[1]
    del instance
    assert records[-1]["message"] == f"Tearing down InstanceContext at {address}"
    gc.collect()
    assert type(module) is Module
    with pytest.raises(TypeError) as info:
        _kd_load_module(module, storage("two_functions"))
    assert str(info.value) == (
        "argument 'instance': 'Module' object is not an instance of 'Instance'"
    )
    assert repr(module) == f"<Module object at {id(module):#x}>"
    del module


# The lines of loading two_functions into a fresh instance: 4 up to the merge, 5 after it.
LOAD_LINE_COUNT = 9


@pytest.mark.parametrize("at", range(LOAD_LINE_COUNT))
def test_a_raising_callable_at_any_load_line_leaves_a_working_instance(at, capfd):
    instance, recorder = logged_instance()
    data = storage("two_functions")
    recorder.raise_at(at)
    with pytest.raises(BaseException) as info:
        _kd_load_module(instance, data)
    assert type(info.value).__qualname__ == "PanicException"
    assert str(info.value) == "the logger's Python callable raised: ValueError: callable failed"
    recorder.hook = None
    recorder.take()
    # The module whose insertion line raised stays registered: the next load shows it.
    _kd_load_module(instance, data)
    expected_key = "2v1" if at == LOAD_LINE_COUNT - 1 else "1v1"
    assert recorder.take()[-1][4] == (
        f"ModuleContext inserted into InstanceContext with key ModuleKey({expected_key})"
    )
    capfd.readouterr()


def test_instance_takes_part_in_garbage_collection():
    assert Instance.__flags__ & (1 << 14)  # Py_TPFLAGS_HAVE_GC
    assert not Module.__flags__ & (1 << 14)  # a Module holds no Python object
