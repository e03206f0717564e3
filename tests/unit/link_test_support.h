// Shared by the link tests: a dialog holding link controls, the tool's log, a sandbox .htm
// association, and a catcher for the message boxes the link shows.
#pragma once

#include "controls/link_static.h"
#include "link_test.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class CLinkTestDlg;
using LinkStep = std::function<void(CLinkTestDlg&)>;

// The test dialog: every static control attached as a link; steps run one message at a time in
// the modal loop once the window shows, so messages posted by one step arrive before the next.
class CLinkTestDlg : public CDialog {
    DECLARE_MESSAGE_MAP()

public:
    CLinkTestDlg() : CDialog(IDD_LINK_TEST) {}

    CLinkStatic m_center;
    CLinkStatic m_right;
    CLinkStatic m_left;
    CLinkStatic m_centerImage;

    LinkStep m_beforeAttach;
    std::vector<LinkStep> m_steps;
    std::map<int, CRect> m_templateRects; // each control's rectangle before the attach

    BOOL OnInitDialog() override;
    // A control's rectangle in the dialog's client coordinates.
    CRect ItemRect(int id) const;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT OnNextStep(WPARAM, LPARAM);

private:
    size_t m_nextStep = 0;
};

INT_PTR RunLinkDialog(CLinkTestDlg& dlg, std::vector<LinkStep> steps);

// What the dialog's colour request for a link answers.
struct LinkColours {
    COLORREF text;
    int bkMode;
    HBRUSH brush;
};
LinkColours ColoursOf(CLinkTestDlg& dlg, const CLinkStatic& link);

// The program that records its command line, beside the test executable.
std::string ToolPath();

// The file the tool writes its command line to: cleared when made, read with a wait.
class ToolLog {
public:
    ToolLog();
    ~ToolLog();
    ToolLog(const ToolLog&) = delete;
    ToolLog& operator=(const ToolLog&) = delete;
    // The recorded command line, or empty when none arrives within the wait.
    std::string Wait(DWORD timeoutMs = 10000) const;
    void Clear() const;

private:
    std::string m_path;
};

// HKEY_CLASSES_ROOT\.htm naming the file type `typeName`, whose open command is `command`
// (when the type's name is a valid key name); both keys are removed before and after.
class HtmAssociation {
public:
    static const char kTypeName[];
    explicit HtmAssociation(const std::string& command, const std::string& typeName = kTypeName);
    ~HtmAssociation();
    HtmAssociation(const HtmAssociation&) = delete;
    HtmAssociation& operator=(const HtmAssociation&) = delete;

private:
    void Remove() const;
    std::string m_typeName;
};

// Catches every message box this thread shows while it lives, records it and closes it.
class MessageBoxCatcher {
public:
    struct Box {
        std::string title;
        std::string text;
        bool exclamation;
    };
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    std::vector<Box> m_boxes;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    UINT_PTR m_timer;
};
