// LinkedList: a list of LinkedData items kept in a script array, sorted by their text and
// added to once per distinct item on request.
//
// The program's natives read a LinkedData's members by position: keep "text", "value" and
// "data" its first three members, in this order and of these types.
class LinkedData
{
  public string text;
  public int value;
  public object data;
};

class LinkedList
{
  public LinkedData[] items = new LinkedData[0];

  // Sorts the array by the items' text, lowest first (not stable).
  public native void SortInternal(LinkedData[] list);
  // Appends the item; with unique set, only when no item of the array has the same text,
  // value and data.
  public native void AddInternal(LinkedData[] list, LinkedData item, bool unique);

  public void Add(LinkedData item) { AddInternal(items, item, false); }
  public void AddUnique(LinkedData item) { AddInternal(items, item, true); }
  public void Sort(void) { SortInternal(items); }
};
