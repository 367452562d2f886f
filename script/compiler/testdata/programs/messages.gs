// expect int 0
// A game class whose thread waits for two kinds of message; Run only starts nothing and
// returns. The machine's tests post "Train"/"Enter" and "Timer"/"Tick" to it.
game class Test {
  int entered;
  object last;
  thread void Watch() {
    while (1) {
      wait() {
        on "Train", "Enter", last: entered++;
        on "Timer", "Tick": break;
      }
    }
  }
  int Run() { return 0; }
};
