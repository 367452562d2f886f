// expect string n=12 true 3 bcd
class Test {
  string Run() {
    string s = "abcde";
    string t = s;
    t[0] = 'x';                      // s keeps its text
    string part = s[1, 4];
    return "n=" + 12 + " " + (s.size() == 5) + " " + (t[0] - 'x' + 3) + " " + part;
  }
};
