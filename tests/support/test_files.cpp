// test file helpers
