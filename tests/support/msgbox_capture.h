// Catches the message boxes a test provokes: their text and caption are
// recorded and each box is answered at once, so the code under test runs its
// real error path (MessageBoxA) without anyone at the screen.
//
//   MessageBoxCapture boxes;            // capture on this thread from now on
//   config.report = showTestMessageBox;
//   ...code that reports...
//   EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Invalid sound file"}));
//
// Boxes with Yes/No buttons get the answer given by answerWith (IDYES by
// default); every other box is closed with OK.
#ifndef PELIMBO_TESTS_SUPPORT_MSGBOX_CAPTURE_H
#define PELIMBO_TESTS_SUPPORT_MSGBOX_CAPTURE_H

#include <string>
#include <vector>

struct CapturedBox {
    std::string text;
    std::string caption;
};

class MessageBoxCapture
{
  public:
    MessageBoxCapture();  // starts capturing on the calling thread
    ~MessageBoxCapture(); // stops
    MessageBoxCapture(const MessageBoxCapture &) = delete;
    MessageBoxCapture &operator=(const MessageBoxCapture &) = delete;

    const std::vector<CapturedBox> &boxes() const;
    std::vector<std::string> texts() const;
    void clear();
    // The button pressed in boxes that offer Yes and No (IDYES or IDNO).
    void answerWith(int button);
};

// The error reporter the tests plug in: the notifier's own box, caption
// "Pelimbo", exclamation icon, OK button.
void showTestMessageBox(const char *text);

#endif
