"""The object protocol, checked once for every type in the registry."""

import re

import numpy as np
import pytest

from registry import CASES

COMMON = {"destroy", "__enter__", "__exit__"}
STATE = {"state_bytes", "get_state", "set_state"}

cases = pytest.mark.parametrize("case", CASES, ids=[c.id for c in CASES])
stateful = [c for c in CASES if c.feed is not None]
stateful_cases = pytest.mark.parametrize("case", stateful, ids=[c.id for c in stateful])
bounded = [(c, b) for c in CASES for b in c.bounded]
bounded_cases = pytest.mark.parametrize(
    "case,b", bounded, ids=[f"{c.id}.{b.method}" for c, b in bounded]
)

# A dtype of the same item size but another kind: only the dtype itself tells them apart.
SAME_SIZE_OTHER = {np.uint8: np.int8, np.float32: np.int32, np.float64: np.int64,
                   np.complex64: np.float64, np.complex128: np.longdouble}

OUT_MSG = "out must be a writable, C-contiguous ndarray of the output dtype"


def public_methods(obj):
    return {
        n for n in dir(type(obj))
        if (not n.startswith("_") or n in COMMON) and callable(getattr(type(obj), n))
    }


@cases
def test_registry_lists_every_method(case):
    obj = case.make()
    expected = set(case.methods) | COMMON | (STATE if case.feed else set())
    assert public_methods(obj) == expected


@cases
def test_type_is_final_and_named_after_its_module(case):
    obj = case.make()
    t = type(obj)
    assert t.__name__ == case.id.split(".")[-1]
    assert not hasattr(obj, "__dict__")
    with pytest.raises(TypeError):
        type("Sub", (t,), {})
    with pytest.raises(AttributeError):
        obj.some_attribute = 1


@cases
def test_every_public_name_has_a_numpydoc_docstring(case):
    obj = case.make()
    t = type(obj)
    assert "Examples" in (t.__doc__ or "")
    for name in public_methods(obj) | set(case.getters):
        doc = getattr(t, name).__doc__ or ""
        assert "Examples" in doc and ("Returns" in doc or name == "__init__"), name


@cases
def test_destroy_is_idempotent_and_disables_everything(case):
    obj = case.make()
    assert obj.destroy() is None
    assert obj.destroy() is None
    for name, call in case.methods.items():
        with pytest.raises(RuntimeError, match="^destroyed$"):
            call(obj)
    for name in case.getters:
        with pytest.raises(RuntimeError, match="^destroyed$"):
            getattr(obj, name)
    if case.feed:
        for call in (obj.state_bytes, obj.get_state, lambda: obj.set_state(b"")):
            with pytest.raises(RuntimeError, match="^destroyed$"):
                call()


@bounded_cases
def test_destroyed_check_comes_before_arguments(case, b):
    obj = case.make()
    obj.destroy()
    with pytest.raises(RuntimeError, match="^destroyed$"):
        b.call(obj, "not an array")


@cases
def test_context_manager_yields_the_object_and_destroys_it(case):
    made = case.make()
    with made as obj:
        assert obj is made
        for name in case.getters:
            getattr(obj, name)
    first = next(iter(case.methods.values()))
    with pytest.raises(RuntimeError, match="^destroyed$"):
        first(obj)
    # Entering a destroyed object still works; exceptions are never suppressed.
    assert obj.__enter__() is obj
    with pytest.raises(KeyError):
        with case.make():
            raise KeyError("escapes")
    assert case.make().__exit__(1, 2, 3) is None


@cases
def test_negative_unsigned_argument_wraps_and_is_refused(case):
    if case.wrapped is None:
        pytest.skip("no unsigned size argument")
    exc, msg = case.wrapped_error
    with pytest.raises(exc, match=f"^{re.escape(msg)}$"):
        case.wrapped()


@bounded_cases
@pytest.mark.parametrize(
    "bad",
    ["wrong dtype", "same-size dtype", "read-only", "fortran", "list", "byteswapped"],
)
def test_out_must_be_writable_contiguous_of_the_output_dtype(case, b, bad):
    obj = case.make()
    b.prepare(obj)
    need = b.need(obj)
    dt = np.dtype(b.dtype)
    if bad == "wrong dtype":
        other = np.float64 if dt != np.float64 else np.float32
        out = np.zeros(need, other)
    elif bad == "same-size dtype":
        out = np.zeros(need, SAME_SIZE_OTHER[dt.type])
    elif bad == "read-only":
        out = np.zeros(need, dt)
        out.flags.writeable = False
    elif bad == "fortran":
        out = np.zeros((need, 2), dt, order="F")
    elif bad == "list":
        out = [0] * need
    else:
        if dt.itemsize == 1:
            pytest.skip("a one-byte dtype has no byte order")
        out = np.zeros(need, dt.newbyteorder())
    with pytest.raises(TypeError, match=f"^{OUT_MSG}$"):
        b.call(obj, out)


@bounded_cases
def test_out_too_small_names_both_sizes(case, b):
    obj = case.make()
    b.prepare(obj)
    need = b.need(obj)
    out = np.zeros(need - 1, b.dtype)
    with pytest.raises(ValueError, match=f"^out has {need - 1} elements, need >= {need}$"):
        b.call(obj, out)


@bounded_cases
def test_larger_out_gives_a_view_of_its_first_elements(case, b):
    obj = case.make()
    b.prepare(obj)
    need = b.need(obj)
    out = np.full(need + 7, 99, b.dtype)
    res = b.call(obj, out)
    assert res is not None and res.base is out and res.ndim == 1
    assert res.__array_interface__["data"][0] == out.__array_interface__["data"][0]
    assert np.all(out[need:] == 99)
    # The same call without out gives the same values.
    obj2 = case.make()
    b.prepare(obj2)
    fresh = b.call(obj2, None)
    np.testing.assert_array_equal(res, fresh)
    res[0] = 5
    assert out[0] == 5


@bounded_cases
def test_2d_out_is_accepted_and_filled_flat(case, b):
    obj = case.make()
    b.prepare(obj)
    need = b.need(obj)
    out = np.zeros((2, need), b.dtype)
    res = b.call(obj, out)
    assert res.base is out and np.shares_memory(res, out)


@stateful_cases
def test_state_blob_header_and_length(case):
    obj = case.make()
    blob = obj.get_state()
    assert isinstance(blob, bytes)
    assert len(blob) == obj.state_bytes()
    assert int.from_bytes(blob[8:12], "little") == len(blob)
    assert blob[6] == 1


@stateful_cases
def test_state_blob_refusals_leave_state_unchanged(case):
    obj = case.make()
    case.feed(obj)
    before = obj.get_state()
    with pytest.raises(TypeError, match="^set_state expects bytes$"):
        obj.set_state(bytearray(before))
    with pytest.raises(ValueError, match="^state blob size mismatch$"):
        obj.set_state(b"")
    with pytest.raises(ValueError, match="^state blob size mismatch$"):
        obj.set_state(before + b"\0")
    for offset in (0, 4, 6, 8):
        bad = bytearray(before)
        bad[offset] ^= 0x5A
        with pytest.raises(ValueError, match="^set_state rejected the blob$"):
            obj.set_state(bytes(bad))
    assert obj.get_state() == before
    with pytest.raises(TypeError):
        obj.set_state()
    with pytest.raises(TypeError):
        obj.set_state(before, before)


@stateful_cases
def test_reserved_header_bytes_are_not_read(case):
    obj = case.make()
    blob = bytearray(obj.get_state())
    blob[7] = 0xEE
    blob[12:16] = b"\xff\xff\xff\xff"
    obj.set_state(bytes(blob))


@stateful_cases
def test_restored_twin_continues_identically(case):
    a = case.make()
    case.feed(a)
    b = case.make()
    b.set_state(a.get_state())
    assert b.get_state() == a.get_state()
    for _ in range(2):
        ra, rb = case.feed(a), case.feed(b)
        np.testing.assert_array_equal(np.asarray(ra), np.asarray(rb))
    assert a.get_state() == b.get_state()


@stateful_cases
def test_blob_of_another_size_is_refused(case):
    if case.make_other_size is None:
        pytest.skip("one blob size only")
    a, other = case.make(), case.make_other_size()
    with pytest.raises(ValueError, match="^state blob size mismatch$"):
        a.set_state(other.get_state())


@stateful_cases
def test_corrupted_payloads_are_refused_unchanged_or_resumed_safely(case):
    """Random payload bytes behind a valid header never crash a later call."""
    r = np.random.default_rng(17)
    for _ in range(60):
        obj = case.make()
        case.feed(obj)
        before = obj.get_state()
        blob = bytearray(before)
        for i in r.integers(16, len(blob), size=r.integers(1, 8)):
            blob[i] = r.integers(0, 256)
        try:
            obj.set_state(bytes(blob))
        except ValueError as e:
            assert str(e) == "set_state rejected the blob"
            assert obj.get_state() == before
        case.feed(obj)
        for call in case.methods.values():
            try:
                call(obj)
            except (ValueError, TypeError):
                pass
