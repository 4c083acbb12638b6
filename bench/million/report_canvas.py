#!/usr/bin/env python3
"""The benchmark's comparison: the sample report's layout drawn with the
ReportLab canvas from the same SQLite file.
  report_canvas.py <database> <pdf>
Title, column headings on every page and a page number at its foot; the
order lines grouped on the customer with a header (company, country) and a
footer (line count and sum of the amounts), a grand total at the end.
Prints the grand total's count and sum."""
import sqlite3
import sys

from reportlab.lib.pagesizes import letter
from reportlab.pdfgen import canvas

db, out = sys.argv[1], sys.argv[2]
rows = sqlite3.connect(db).execute(
    "select company, country, order_id, order_date, product, quantity, amount "
    "from order_lines order by company, order_id")
c = canvas.Canvas(out, pagesize=letter)
width, height = letter
LEFT, TOP, BOTTOM, STEP = 36, height - 36, 48, 10.5
COLUMNS = (LEFT + 29, LEFT + 86, LEFT + 173, LEFT + 288, LEFT + 360)
state = {"y": TOP, "page": 0}


def page_start():
    if state["page"]:
        c.setFont("Helvetica", 10)
        c.drawCentredString(width / 2, 24, "Page %d" % state["page"])
        c.showPage()
    state["page"] += 1
    state["y"] = TOP
    c.setFont("Helvetica-Bold", 10)
    for x, text in zip(COLUMNS, ("Order", "Date", "Product", "Quantity", "Amount")):
        c.drawString(x, state["y"], text)
    state["y"] -= STEP


def room():
    if state["y"] < BOTTOM:
        page_start()


def amount(v):
    return "" if v is None else "{:,.2f}".format(v)


def total_line(caption, n, value):
    room()
    c.setFont("Helvetica-Bold", 10)
    c.drawString(COLUMNS[2], state["y"], caption)
    c.drawRightString(COLUMNS[3] + 50, state["y"], str(n))
    c.drawRightString(COLUMNS[4] + 80, state["y"], amount(value))
    state["y"] -= STEP


page_start()
c.setFont("Helvetica-Bold", 14)
c.drawString(LEFT, state["y"], "Orders by customer")
state["y"] -= 16
current = None
count = total = grand_count = grand_total = 0
for company, country, order_id, order_date, product, quantity, value in rows:
    if company != current:
        if current is not None:
            total_line("Customer total", count, total)
            state["y"] -= STEP
        room()
        c.setFont("Helvetica-Bold", 10)
        c.drawString(LEFT, state["y"], company)
        c.setFont("Helvetica", 10)
        c.drawString(LEFT + 230, state["y"], country or "")
        state["y"] -= STEP
        current, count, total = company, 0, 0
    room()
    c.setFont("Helvetica", 10)
    c.drawRightString(COLUMNS[0] + 40, state["y"], str(order_id))
    c.drawString(COLUMNS[1], state["y"], order_date)
    c.drawString(COLUMNS[2], state["y"], product or "")
    c.drawRightString(COLUMNS[3] + 50, state["y"], str(quantity))
    c.drawRightString(COLUMNS[4] + 80, state["y"], amount(value))
    state["y"] -= STEP
    if value is not None:
        count += 1
        total += value
        grand_count += 1
        grand_total += value
total_line("Customer total", count, total)
state["y"] -= STEP
total_line("Grand total", grand_count, grand_total)
c.setFont("Helvetica", 10)
c.drawCentredString(width / 2, 24, "Page %d" % state["page"])
c.showPage()
c.save()
print("%d pages, grand total %d %.2f" % (state["page"], grand_count, grand_total))
