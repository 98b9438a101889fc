/* What GTK 3's print dialog knows of the CUPS printers: lists them through
 * GTK's own print backends, lets the CUPS backend fetch their state, and
 * prints one line per printer:
 *
 *   NAME <TAB> ICON <TAB> STATE MESSAGE
 *
 * Usage: gtk_printers [SECONDS]   (how long the backend may fill in the
 * state; 2 by default). The CUPS server is the one in CUPS_SERVER.
 *
 *        gtk_printers --dialog SECONDS
 * shows GTK's print dialog itself for that long instead (for a screenshot). */
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <stdio.h>
#include <stdlib.h>

static GPtrArray *printers;

static gboolean keep(GtkPrinter *printer, gpointer data) {
  (void)data;
  g_ptr_array_add(printers, g_object_ref(printer));
  return FALSE; /* go on enumerating */
}

static gboolean quit_loop(gpointer loop) {
  g_main_loop_quit(loop);
  return G_SOURCE_REMOVE;
}

int main(int argc, char **argv) {
  const gboolean dialog = argc > 2 && g_strcmp0(argv[1], "--dialog") == 0;
  double seconds = argc > 1 ? atof(argv[dialog ? 2 : 1]) : 2.0;
  /* GTK's print backends need no display, but gtk_init does. */
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "gtk_printers: no display\n");
    return 2;
  }
  if (dialog) {
    GtkWidget *window = gtk_print_unix_dialog_new("Print", NULL);
    gtk_window_set_default_size(GTK_WINDOW(window), 900, 560);
    gtk_widget_show_all(window);
    g_timeout_add((guint)(seconds * 1000), (GSourceFunc)gtk_main_quit, NULL);
    gtk_main();
    return 0;
  }
  printers = g_ptr_array_new_with_free_func(g_object_unref);
  gtk_enumerate_printers(keep, NULL, NULL, TRUE);

  /* The CUPS backend asks for each printer's state after listing it. */
  GMainLoop *loop = g_main_loop_new(NULL, FALSE);
  for (guint i = 0; i < printers->len; ++i) gtk_printer_request_details(g_ptr_array_index(printers, i));
  g_timeout_add((guint)(seconds * 1000), quit_loop, loop);
  g_main_loop_run(loop);

  for (guint i = 0; i < printers->len; ++i) {
    GtkPrinter *p = g_ptr_array_index(printers, i);
    const char *message = gtk_printer_get_state_message(p);
    const char *icon = gtk_printer_get_icon_name(p);
    printf("%s\t%s\t%s\n", gtk_printer_get_name(p), icon ? icon : "", message ? message : "");
  }
  g_ptr_array_free(printers, TRUE);
  g_main_loop_unref(loop);
  return 0;
}
