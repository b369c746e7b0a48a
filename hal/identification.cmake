# Machine identification sources and tests.
