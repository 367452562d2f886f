public native final thread static game secured define class X { };
