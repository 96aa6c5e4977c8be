"""Loads and compiles started from inside the logger's callable, on the same thread or on
another one, several threads loading into one instance at once, and instances caught in
reference cycles through their callable. A lock held across a line would hang these for ever,
so each runs in a child interpreter with a timeout."""

import gc
import weakref

import pytest

import kdpi
from instance_support import LOGGER, create_info, logger_config, run_child, teardown_line
from kdpi._sys import _kd_compile_module, _kd_create_instance, _kd_load_module
from load_support import storage

TIMEOUT = 60

# Lines of loading two_functions into a fresh instance.
LOAD_LINE_COUNT = 9


def test_the_callable_may_load_and_compile_at_every_load_line():
    code, reported, err = run_child(
        f"""
        import threading
        from kdpi._sys import _kd_compile_module, _kd_load_module
        from load_support import compile_info, logged_instance, storage

        data = storage("two_functions")
        results = []
        for other_thread in (False, True):
            for at in range({LOAD_LINE_COUNT}):
                instance, recorder = logged_instance()
                inner = []
                seen = []

                def act():
                    inner.append(type(_kd_load_module(instance, data)).__name__)
                    inner.append(len(_kd_compile_module(instance, compile_info())))

                def hook(record):
                    seen.append(record)
                    if len(seen) != at + 1:
                        return
                    if other_thread:
                        thread = threading.Thread(target=act)
                        thread.start()
                        thread.join()
                    else:
                        act()

                recorder.hook = hook
                outer = _kd_load_module(instance, data)
                recorder.hook = None
                keys = [line[4] for line in recorder.take()
                        if line[4].startswith("ModuleContext inserted")]
                results.append([other_thread, at, type(outer).__name__, inner[0], inner[1] > 0,
                                keys])
        report(results)
        """,
        timeout=TIMEOUT,
    )
    assert code == 0, err
    keys = [
        f"ModuleContext inserted into InstanceContext with key ModuleKey({k})" for k in ("1v1", "2v1")
    ]
    expected = []
    for other_thread in (False, True):
        for at in range(LOAD_LINE_COUNT):
            expected.append([other_thread, at, "Module", "Module", True, keys])
    assert reported == expected


def test_several_threads_load_into_one_instance_at_once():
    code, reported, err = run_child(
        """
        import sys, threading, time
        from kdpi._sys import _kd_load_module
        from load_support import logged_instance, storage

        sys.setswitchinterval(1e-6)
        data = storage("two_functions")
        instance, recorder = logged_instance()
        # Let another thread run while each line is being written.
        recorder.hook = lambda record: time.sleep(0)
        handles = []

        def worker():
            for _ in range(25):
                handles.append(_kd_load_module(instance, data))

        threads = [threading.Thread(target=worker) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        keys = sorted(line[4] for line in recorder.take() if line[4].startswith("ModuleContext"))
        report([len(handles), keys])
        """,
        timeout=TIMEOUT,
    )
    assert code == 0, err
    assert reported == [
        100,
        sorted(
            f"ModuleContext inserted into InstanceContext with key ModuleKey({n}v1)"
            for n in range(1, 101)
        ),
    ]


def test_an_instance_in_a_cycle_with_its_callable_is_collected_with_its_teardown_line():
    # The usual shape: the callable is a bound method of an object that holds the instance.
    class Holder:
        def __init__(self):
            self.received = []
            self.instance = _kd_create_instance(create_info([LOGGER], [logger_config(self.log)]))
            self.module = _kd_load_module(self.instance, storage("two_functions"))

        def log(self, record):
            self.received.append((record["level"], record["message"], record["line"]))

    holder = Holder()
    received = holder.received
    address = received[0][1].rsplit(" ", 1)[1]
    alive = weakref.ref(holder)
    del holder
    assert alive() is not None  # only the collector can free the cycle
    gc.collect()
    assert alive() is None
    # Torn down while the holder was still whole: the line reached it.
    assert received[-1] == teardown_line(address)


def test_a_handle_brought_back_after_its_cycle_was_torn_down_refuses_work():
    saved = []

    class Holder:
        def __init__(self):
            self.instance = _kd_create_instance(create_info([LOGGER], [logger_config(self.log)]))

        def log(self, record):
            pass

        def __del__(self):
            saved.append(self)  # back from the dead, after the instance's finaliser ran

    Holder()
    gc.collect()
    (holder,) = saved
    with pytest.raises(RuntimeError) as info:
        _kd_load_module(holder.instance, storage("two_functions"))
    assert str(info.value) == (
        "Failed to load compiled module: the instance has already been torn down"
    )
    with pytest.raises(RuntimeError) as info:
        _kd_compile_module(holder.instance, kdpi.ModuleCompileInfo([]))
    assert str(info.value) == "Failed to compile module: the instance has already been torn down"
