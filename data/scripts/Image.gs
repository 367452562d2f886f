// Image: a 32-bit picture that scripts draw on with a line and a fill colour (components from
// 0 to 1), draw text on, and turn into a Soup and back. ConstructorsBase.NewImage() makes one.
include "gs.gs"
include "Soup.gs"

final class Image isclass GSObject
{
  // Drops the picture; with both sides above 0, a new one of that size in the fill colour.
  public native void Clear(int width, int height);
  // With scale set the old picture is scaled onto the new size, else kept at the origin.
  public native void Resize(int width, int height, bool scale);
  public native int GetWidth(void);
  public native int GetHeight(void);
  public native void SetLineColor(float red, float green, float blue, float alpha);
  public native void SetFillColor(float red, float green, float blue, float alpha);
  public native void DrawPoint(int x, int y);
  public native void DrawRect(int x1, int y1, int x2, int y2);
  public native void DrawLine(int x1, int y1, int x2, int y2);
  public native void DrawCircle(int x, int y, int radius);
  public native void DrawTriangle(int x1, int y1, int x2, int y2, int x3, int y3);
  public native void DrawImage(int x, int y, Image source);
  public native void DrawImage(int x1, int y1, int x2, int y2, Image source);
  public native void DrawImage(int x1, int y1, int x2, int y2, Image source, int sx1, int sy1, int sx2, int sy2);
  public native void SetTextFont(string face, int height);
  public native int MeasureTextWidth(string text);
  public native void DrawText(int x, int y, string text);
  public native Soup ExportImage(void);
  public native void ImportImage(Soup image);
};
