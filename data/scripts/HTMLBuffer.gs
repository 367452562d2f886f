// HTMLBuffer: HTML text built piece by piece. Print appends text as it is, Escape appends user
// text with "<", ">" and "&" escaped and line ends as "<br>". New buffers come from
// HTMLBufferStatic.Construct().
include "gs.gs"

final class HTMLBuffer isclass GSObject
{
  public native void Clear(void);
  public native bool IsEmpty(void);
  public native string AsString(void);
  public native void Print(string text);
  public native void Escape(string text);
};

static class HTMLBufferStatic
{
  public native HTMLBuffer Construct(void);
};
