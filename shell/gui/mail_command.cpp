#include "shell/gui/mail_command.h"

#include <QFile>

#include "audio/formats/mmwave.h"
#include "filemanager/gui/file_browser.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "voicefile/fileinfo.h"
#include "voicefile/gui/form_progress.h"
#include "voicefile/naming.h"
#include "voicefile/stream_lease.h"

namespace murrel {

TMailCommand::TMailCommand(TFileBrowser& browser, TForm_progress& progress) : browser_(browser), progress_(progress) {}

std::string TMailCommand::voice_attachment(const std::string& folder, const std::string& caption) {
    const std::string voice = folder + caption;
    MessageRequest ask{app().app_name, caption + " : " + app().message("FEM_mail_errmsg6"), MessageIcon::Question,
                       MessageButtons::YesNo, true};
    if (dialogs().message_box(ask) != DialogResult::Yes) return voice;
    const std::string wav = folder + make_autofilename(caption, 1);
    if (QFile::exists(QString::fromStdString(wav))) {
        show_warning(app().message("FM_text_system_errmsg10"));
        return voice;
    }
    Tkoltfile_info info;
    get_fileinfo(voice, info);
    progress_.set_filename(caption);
    progress_.set_target(make_autofilename(caption, 1));
    bool made = false;
    try {
        TMMWave scratch;
        made = file_decompress_leased(voice, wav, info, scratch, progress_);
    } catch (const std::exception& e) {
        show_error(e.what());
    }
    // A decoding that did not finish is no attachment and no file to keep.
    if (!made) QFile::remove(QString::fromStdString(wav));
    return made ? wav : voice;
}

void TMailCommand::button_emailClick() {
    progress_.set_caption(app().message("FM_caption_title0"));
    progress_.set_current(0);
    progress_.set_total(0);
    progress_.set_filecount("1 of 1");
    progress_.set_filebyte("");
    progress_.show();
    app().convert_cancel = false;
    Email1.Clear();
    // Before any decoding: the player holds the stream a decoding needs.
    if (stop_playback) stop_playback();
    TFileList& list = *browser_.file_mycomputer;
    const std::string folder = AddSlash(browser_.directory_mycomputer->SelectedPath());
    for (int row = 0; row < list.count(); ++row) {
        if (!list.isSelected(row) || list.entry(row).kind != EntryKind::File) continue;
        const std::string caption = list.caption(row).toStdString();
        std::string a = folder + caption;
        Tkoltfile_info info;
        if (get_fileinfo(a, info) == kFileVoice) a = voice_attachment(AddSlash(list.Directory()), caption);
        Email1.Attachment.push_back(a);
    }
    progress_.center_on_desktop();
    progress_.close();
    dialogs().message_box({app().app_name,
                           app().message("FM_caption_text0") + "\n" + app().message("FM_caption_text1"),
                           MessageIcon::Warning, MessageButtons::Ok, false});
    if (show_main) show_main(false);
    try {
        Email1.SendMail();
    } catch (const EMapiUnavailable& e) {
        show_error(e.what());
    }
    Email1.Clear();
    if (show_main) show_main(true);
    list.RefreshList();
}

}  // namespace murrel
