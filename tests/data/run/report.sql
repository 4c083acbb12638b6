-- Customers, their orders and order lines for the report-run tests: nulls,
-- long texts, dates and amounts with cents.
create table customers (id integer primary key, name text not null, region text, note text);
create table orders (id integer primary key, customer integer not null references customers(id),
                     placed date, memo text);
create table order_lines (id integer primary key, order_id integer not null references orders(id),
                          product text, quantity integer, amount real);

insert into customers values (1, 'Abbott', 'East', 'Pays on time');
insert into customers values (2, 'Brandt', 'West', null);
insert into customers values (3, 'Castillo', 'East', 'A very long note about this customer that goes on and on, well past the width of any column on the page, so that a word-wrapped field has to continue on the next lines.');
insert into customers values (4, 'Dunmore', null, 'No orders at all');

insert into orders values (10, 1, '2026-01-05', 'First order');
insert into orders values (11, 1, '2026-02-11', null);
insert into orders values (12, 2, '2026-03-02', 'Rush');
insert into orders values (13, 3, null, 'Undated');
insert into orders values (14, 3, '2026-04-30', null);

insert into order_lines values (100, 10, 'Anchor', 2, 19.99);
insert into order_lines values (101, 10, 'Bolt', 10, 4.5);
insert into order_lines values (102, 10, 'Cable', 1, 120.0);
insert into order_lines values (103, 11, 'Anchor', 1, 19.99);
insert into order_lines values (104, 12, 'Drill', 1, 249.0);
insert into order_lines values (105, 12, 'Bolt', 40, 18.0);
insert into order_lines values (106, 12, 'Epoxy', 3, null);
insert into order_lines values (107, 13, 'Fuse', 5, 7.25);
insert into order_lines values (108, 14, 'Gasket', 12, 33.6);
insert into order_lines values (109, 14, 'Hinge', 8, 0.1);
insert into order_lines values (110, 14, 'Hinge', 8, 0.1);
insert into order_lines values (111, 14, 'Hinge', 8, 0.1);

-- The report's record source: one row per order line with its order and customer.
create view report_lines as
  select c.name as customer, c.region as region, c.note as note, o.id as order_no, o.placed as placed,
         o.memo as memo,
         l.product as product, l.quantity as quantity, l.amount as amount
  from order_lines l join orders o on o.id = l.order_id join customers c on c.id = o.customer;
