"""Several Python threads at once each make instances, compile a source, load it into one shared
instance and into their own, while every engine line goes through a Python callable that lets
the other threads run. Runs in a child interpreter with a timeout: a lock held across a line
would hang it."""

from instance_support import run_child

THREADS = 8
ROUNDS = 5


def test_threads_create_compile_load_and_log_at_once():
    code, reported, err = run_child(
        f"""
        import threading, time
        from kdpi._sys import _kd_compile_module, _kd_create_instance, _kd_load_module
        from instance_support import LOGGER, create_info, logger_config
        from load_support import compile_info

        SOURCE = "define i32 add(%a: i32, %b: i32) {{\\nentry:\\n  %s: i32 = iadd.wrap %a, %b\\n  ret %s\\n}}\\n"
        lock = threading.Lock()
        shared_lines = []

        def shared_callable(record):
            with lock:
                shared_lines.append(record["message"])
            time.sleep(0)

        shared = _kd_create_instance(create_info([LOGGER], [logger_config(shared_callable)]))
        failures = []
        own_counts = {{}}

        def work(t):
            own = []

            def own_callable(record):
                own.append(record["message"])
                time.sleep(0)

            try:
                for i in range({ROUNDS}):
                    instance = _kd_create_instance(
                        create_info([LOGGER], [logger_config(own_callable)], name=f"app{{t}}"))
                    data = _kd_compile_module(instance, compile_info((f"t{{t}}r{{i}}.kd", SOURCE)))
                    _kd_load_module(shared, data)
                    _kd_load_module(instance, data)
                    del instance
            except BaseException as e:
                failures.append(repr(e))
            own_counts[t] = (
                sum(m == f"Application 'app{{t}}' v1.2.3 using engine 'eng' v9.8.7 (node ID: 42)"
                    for m in own),
                sum(m.startswith("Application '") for m in own),
                sum(m.startswith("Tearing down InstanceContext at ") for m in own),
                sum(m == "ModuleContext inserted into InstanceContext with key ModuleKey(1v1)"
                    for m in own),
            )

        threads = [threading.Thread(target=work, args=(t,)) for t in range({THREADS})]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        keys = sorted(m for m in shared_lines if m.startswith("ModuleContext inserted"))
        report({{"failures": failures, "keys": keys,
                 "own": [own_counts[t] for t in range({THREADS})]}})
        """
    )
    assert code == 0, err
    assert reported["failures"] == []
    total = THREADS * ROUNDS
    assert reported["keys"] == sorted(
        f"ModuleContext inserted into InstanceContext with key ModuleKey({n}v1)"
        for n in range(1, total + 1)
    )
    # Each thread's callable saw its own instances' lines only: creation, one load, teardown.
    assert reported["own"] == [[ROUNDS, ROUNDS, ROUNDS, ROUNDS]] * THREADS
