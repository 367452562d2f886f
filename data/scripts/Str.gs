// String helpers. The functions that change a string change that string object itself, so
// every reference to it sees the change. Where a set of characters may be given, a null or
// empty set means white space (space, tab, carriage return, line feed, vertical tab).

static class Str
{
  // Removes from the start (end) of s every character that is in chars.
  public native void TrimLeft(string s, string chars);
  public native void TrimRight(string s, string chars);

  public native int ToInt(string s);
  public native float ToFloat(string s);

  public native void ToUpper(string s);
  public native void ToLower(string s);

  // The pieces of s between the characters of separators (empty pieces dropped).
  public native string[] Tokens(string s, string separators);

  // Takes the first white-space separated word off s and gives its value; s keeps the rest.
  public native int UnpackInt(string s);
  public native float UnpackFloat(string s);
  public native string UnpackString(string s);

  // The position of what in s at or after start; -1 when absent or when start is outside s.
  public native int Find(string s, string what, int start);
};
